#include "ras/service/AnsiText.h"

#include "base/Ansi.h"

#include <QStringDecoder>

std::string AnsiToUtf8(std::string_view ansi)
{
    return AnsiToString(ansi).toStdString();
}

std::optional<std::string> Utf8ToAnsi(std::string_view utf8)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    if (decoder.hasError())
        return std::nullopt;
    return TryStringToAnsi(text);
}

QString AnsiToQString(std::string_view ansi)
{
    return AnsiToString(ansi);
}

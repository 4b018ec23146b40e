#include "base/ExceptionRoute.h"

#include "base/Exceptions.h"

#include <QtDebug>

#include <exception>
#include <utility>

namespace {

TExceptionHandler& Handler()
{
    static TExceptionHandler handler;
    return handler;
}

void Hand(QObject* sender, const Exception& e)
{
    if (Handler())
        Handler()(sender, e);
    else
        qWarning("%s", qUtf8Printable(e.Message()));
}

} // namespace

TExceptionHandler SetExceptionHandler(TExceptionHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

QString CurrentExceptionMessage() noexcept
{
    try {
        try {
            throw;
        } catch (const Exception& e) {
            return e.Message();
        } catch (const std::exception& e) {
            return QString::fromLocal8Bit(e.what());
        } catch (...) {
            return QStringLiteral("Unknown exception");
        }
    } catch (...) {
        // Not even the text could be made (no memory left).
        return {};
    }
}

void HandleCurrentException(QObject* sender) noexcept
{
    try {
        try {
            throw;
        } catch (const Exception& e) {
            Hand(sender, e);
        } catch (...) {
            Hand(sender, Exception(CurrentExceptionMessage()));
        }
    } catch (...) {
        // The handler itself failed (error.log cannot be written, say): nothing is left to tell,
        // and the event loop must go on.
    }
}

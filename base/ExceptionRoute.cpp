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

void HandleCurrentException(QObject* sender) noexcept
{
    try {
        try {
            throw;
        } catch (const Exception& e) {
            Hand(sender, e);
        } catch (const std::exception& e) {
            Hand(sender, Exception(QString::fromLocal8Bit(e.what())));
        } catch (...) {
            Hand(sender, Exception(QStringLiteral("Unknown exception")));
        }
    } catch (...) {
        // The handler itself failed (error.log cannot be written, say): nothing is left to tell,
        // and the event loop must go on.
    }
}

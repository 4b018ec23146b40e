#include "reports/ReportGuard.h"

#include "base/Exceptions.h"

#include <QtGlobal>

#include <exception>

namespace {

TReportGuard Guard;

// Without the program's handler (a test, a tool) a failure is reported and the handler ends;
// the event loop must never see the exception.
void DefaultGuard(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& e) {
        qWarning("%s", qUtf8Printable(e.Message()));
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("unknown exception in a report window");
    }
}

} // namespace

void SetReportGuard(TReportGuard guard)
{
    Guard = std::move(guard);
}

void RunReportHandler(QObject* sender, const std::function<void()>& handler)
{
    if (Guard)
        Guard(sender, handler);
    else
        DefaultGuard(handler);
}

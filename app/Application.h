#pragma once

#include <QApplication>

#include <functional>

class Exception;

// The application object. Every event handler runs inside notify, so an exception that leaves a
// handler ends here; it and every guarded handler (base/ExceptionRoute.h) go to OnException
// instead of crossing the event loop.
class TApplication : public QApplication {
public:
    using TExceptionEvent = std::function<void(QObject* Sender, const Exception& E)>;

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Hands the exception to OnException; without a handler the message is shown.
    static void HandleException(QObject* sender, const Exception& e);

    void SetTitle(const QString& title);
    const QString& Title() const { return FTitle; }

    TExceptionEvent OnException;

private:
    QString FTitle;
};

// The one application object, like the global Application of the program.
TApplication* Application();

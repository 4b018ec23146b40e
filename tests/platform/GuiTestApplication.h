#pragma once

#include <QApplication>

#include <memory>

// Widget tests in this folder need an application object of their own; the folder's other
// tests run without one. It lives for one test suite, on the offscreen platform.
class TGuiTestApplication {
public:
    static void Start()
    {
        if (QCoreApplication::instance())
            return;
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
        static int argc = 1;
        static char name[] = "test_platform";
        static char* argv[] = {name, nullptr};
        Instance() = std::make_unique<QApplication>(argc, argv);
    }
    static void Stop()
    {
        if (Instance()) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            Instance().reset();
        }
    }

private:
    static std::unique_ptr<QApplication>& Instance()
    {
        static std::unique_ptr<QApplication> App;
        return App;
    }
};

// The minimal poll in the least a Qt desktop program is: an application with a hidden main
// window and an icon in the notification area, woken once a second by a toolkit timer. What
// the toolkit's event loop and the display connection cost per wake-up shows here, beside the
// bare poll and the program (bench/cpu/cpu-per-second.sh).

#include "bench/cpu/MinimalPoll.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: %s SERVICE-FOLDER\n", argv[0]);
        return 2;
    }
    TMinimalPoll poll;
    InitMinimalPoll(&poll, argv[1]);
    QMainWindow window;
    QPixmap picture(16, 16);
    picture.fill(Qt::darkGreen);
    QSystemTrayIcon icon{QIcon(picture)};
    icon.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&poll] { PollOnce(&poll); });
    timer.start(1000);
    return app.exec();
}

#pragma once
// Helpers for the window tests (the messenger answering from a script is
// tests/support/ScriptedMessenger.h): a helper that answers the next modal window, private settings and
// protocol files, and log files made for the test.

#include "store/base/Messages.h"
#include "tests/support/ScriptedMessenger.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quillmar::testing {

// Runs handle on the next modal window of type T once it is shown (the
// caller then starts what opens it). Gives up after timeoutMs.
template <class T> void answerNextModal(std::function<void(T*)> handle, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, handle, waited, timeoutMs] {
        *waited += 10;
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handle(w);
        } else if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// A settings folder and a config home of the test's own, and a state
// folder for the journals of recordings.
class PrivateConfig {
public:
    PrivateConfig() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        ::setenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData(), 1);
        ::setenv("XDG_STATE_HOME", path("state").toLocal8Bit().constData(), 1);
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    std::string file(const std::string& name) const {
        return path(QString::fromStdString(name)).toStdString();
    }
    QString settingsFile() const { return path("Quillmar/Quillmar.ini"); }
    QTemporaryDir dir;
};

// Writes a log of rows rows; row r holds engine speed byte 11 = r and the
// time stamp (r - 1) * step seconds.
void WriteTestLog(const std::string& fileName, uint32_t rows, double step = 0.2,
                  const std::string& comment = "");

// The 63 data bytes a test log's row r holds.
std::vector<uint8_t> TestLogRow(uint32_t r);

} // namespace quillmar::testing

#pragma once
// What every window test needs: the simulated box on a fake clock, and watchers that
// answer modal boxes and record status bar messages as they happen.

#include "VeltrikaForm.h"
#include "sim/simulated_box.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// One modal box as it showed itself.
struct ShownBox {
    QString title;
    QString text;
    QString informativeText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool hasParent = false;
};

// Answers every QMessageBox the moment it is shown, with the next queued answer or,
// when none is queued, with its escape button (OK for a box that has only OK).
class BoxWatcher : public QObject {
public:
    BoxWatcher();
    ~BoxWatcher() override;
    void queueAnswer(QMessageBox::StandardButton answer) { answers_.append(answer); }
    const QList<ShownBox> &boxes() const { return boxes_; }
    QStringList texts() const;
    void clear() { boxes_ = {}; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<ShownBox> boxes_;
    QList<QMessageBox::StandardButton> answers_;
};

// Every message any status bar shows, with its display time, repeats included.
struct StatusMessage {
    QString text;
    int timeoutMs = 0;
    bool operator==(const StatusMessage &other) const = default;
};

class StatusRecorder {
public:
    StatusRecorder();
    ~StatusRecorder();
    const QList<StatusMessage> &messages() const;
    QStringList texts() const;
    void clear();
};

// The simulated box on a fake clock, installed as the platform, and a window built on it.
class Rig {
public:
    Rig();
    ~Rig();
    MainWindow &start();
    MainWindow &window() { return *window_; }
    void closeWindow() { window_.reset(); }
    template <typename T> T *widget(const char *name) { return window_->findChild<T *>(QLatin1String(name)); }

    sim::FakeLinkClock clock{1000};
    sim::SimulatedBox box{clock};
    BoxWatcher boxWatcher;
    StatusRecorder statusRecorder;

private:
    std::unique_ptr<MainWindow> window_;
};

// The id of the window's 3000 ms status timer, or 0 when none runs. A tick sent by a
// test carries it: QMainWindow keeps timers of its own with other ids.
int statusTimerId(QObject &window);
// Keeps the status timer (same id) from firing on real time, so that only the ticks a long
// test sends itself arrive, never one inside a modal box after seconds of real time.
void holdStatusTimer(QObject &window);

// The request frames the box received, as byte vectors, from index `from` on.
QList<QByteArray> requestsSince(const sim::SimulatedBox &box, int from = 0);
QByteArray bytes(std::initializer_list<int> values);

#include "test_support.h"

#include "dialog_font.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QMetaMethod>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

// Qt's hook for observing every signal emission, the one its test library uses for
// signal dumps. It is exported by QtCore but declared only in a private header.
struct QSignalSpyCallbackSet {
    typedef void (*BeginCallback)(QObject *caller, int signal_or_method_index, void **argv);
    typedef void (*EndCallback)(QObject *caller, int signal_or_method_index);
    BeginCallback signal_begin_callback, slot_begin_callback;
    EndCallback signal_end_callback, slot_end_callback;
};
void Q_CORE_EXPORT qt_register_signal_spy_callbacks(QSignalSpyCallbackSet *callback_set);

BoxWatcher::BoxWatcher() {
    qApp->installEventFilter(this);
}

BoxWatcher::~BoxWatcher() {
    qApp->removeEventFilter(this);
}

QStringList BoxWatcher::texts() const {
    QStringList list;
    for (const ShownBox &box : boxes_) {
        list << box.text;
    }
    return list;
}

bool BoxWatcher::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::Show) {
        return false;
    }
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (box == nullptr) {
        return false;
    }
    ShownBox shown;
    shown.title = box->windowTitle();
    shown.text = box->text();
    shown.informativeText = box->informativeText();
    shown.icon = box->icon();
    shown.buttons = box->standardButtons();
    shown.defaultButton =
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    shown.hasParent = box->parentWidget() != nullptr;
    boxes_.append(shown);
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    if (!answers_.isEmpty()) {
        answer = answers_.takeFirst();
    } else if (box->escapeButton() != nullptr) {
        answer = box->standardButton(box->escapeButton());
    } else {
        answer = QMessageBox::Ok;
    }
    QAbstractButton *button = box->button(answer);
    QTimer::singleShot(0, box, [button, box] {
        if (button != nullptr) {
            button->click();
        } else {
            box->reject();
        }
    });
    return false;
}

namespace {

QList<StatusMessage> g_statusMessages;
bool g_recording = false;
int g_messageChangedIndex = -1;

void onSignal(QObject *caller, int signalIndex, void **argv) {
    auto *bar = qobject_cast<QStatusBar *>(caller);
    if (!g_recording || bar == nullptr || signalIndex != g_messageChangedIndex) {
        return;
    }
    const QString text = *static_cast<const QString *>(argv[1]);
    if (text.isEmpty()) {
        return;
    }
    const QTimer *timer = bar->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    g_statusMessages.append({text, timer != nullptr && timer->isActive() ? timer->interval() : 0});
    // The bar ignores a message equal to the one it shows; clearing it lets a repeat
    // be seen as the user sees it, as a fresh message.
    bar->clearMessage();
}

QSignalSpyCallbackSet g_callbacks = {onSignal, nullptr, nullptr, nullptr};

} // namespace

StatusRecorder::StatusRecorder() {
    // The hook numbers signals among signals only, not among all methods.
    const QMetaMethod changed = QMetaMethod::fromSignal(&QStatusBar::messageChanged);
    g_messageChangedIndex = 0;
    for (int i = 0; i < changed.methodIndex(); ++i) {
        g_messageChangedIndex +=
            QStatusBar::staticMetaObject.method(i).methodType() == QMetaMethod::Signal ? 1 : 0;
    }
    g_statusMessages.clear();
    g_recording = true;
    qt_register_signal_spy_callbacks(&g_callbacks);
}

StatusRecorder::~StatusRecorder() {
    g_recording = false;
    qt_register_signal_spy_callbacks(nullptr);
}

const QList<StatusMessage> &StatusRecorder::messages() const {
    return g_statusMessages;
}

QStringList StatusRecorder::texts() const {
    QStringList list;
    for (const StatusMessage &message : g_statusMessages) {
        list << message.text;
    }
    return list;
}

void StatusRecorder::clear() {
    g_statusMessages = {};
}

Rig::Rig() {
    // The window in the tests wears the program's font, loaded once per process.
    static const bool dialogFontInstalled = installDialogFont();
    Q_UNUSED(dialogFontInstalled);
    installPlatform(&box, &clock);
}

Rig::~Rig() {
    window_.reset();
    installPlatform(nullptr, nullptr);
}

MainWindow &Rig::start() {
    window_ = std::make_unique<MainWindow>();
    return *window_;
}

namespace {
constexpr int kStatusIntervalMs = 3000;
constexpr int kHeldIntervalMs = 24 * 3600 * 1000;
} // namespace

int statusTimerId(QObject &window) {
    for (const auto &timer : QAbstractEventDispatcher::instance()->registeredTimers(&window)) {
        if (timer.interval == kStatusIntervalMs || timer.interval == kHeldIntervalMs) {
            return timer.timerId;
        }
    }
    return 0;
}

void holdStatusTimer(QObject &window) {
    const int id = statusTimerId(window);
    if (id == 0) {
        return;
    }
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    dispatcher->unregisterTimer(id);
    dispatcher->registerTimer(id, kHeldIntervalMs, Qt::CoarseTimer, &window);
}

QList<QByteArray> requestsSince(const sim::SimulatedBox &box, int from) {
    QList<QByteArray> list;
    const auto &frames = box.frames();
    for (size_t i = static_cast<size_t>(from); i < frames.size(); ++i) {
        list << QByteArray(reinterpret_cast<const char *>(frames[i].request.data()),
                           static_cast<qsizetype>(frames[i].request.size()));
    }
    return list;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray array;
    for (int value : values) {
        array.append(static_cast<char>(value));
    }
    return array;
}

#pragma once
// The device actions of the window for the robustness tests: how to run each, what it
// shows when its requests fail or get through, and how long it may take.

#include "core/edid/spaced_hex.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <optional>

namespace robustness {

using sim::Fault;

constexpr uint32_t kMaxEdidBusyPolls = 502;
constexpr uint32_t kEdidReadFrames = 1 + kMaxEdidBusyPolls + 16;
constexpr uint32_t kEdidReadWaitsMs = 100 + kMaxEdidBusyPolls * 10;
// The box reports waiting data once per 1 ms USB frame; the program never sleeps 1 ms.
constexpr uint32_t kRxPollSleepMs = 1;
constexpr int kWindowReadBeforeFault = 8;

// How the box misbehaves in a row. Vanished is the one that cannot be cleared.
enum class Trouble {
    Refuse,
    Silent,
    Short,
    Long,
    WriteFail,
    ReadFail,
    RxQueueFail,
    ReadOverreport,
    Vanished
};

struct TroubleInfo {
    const char *name;
    Trouble trouble;
    bool fails; // the action's requests fail; otherwise they get through in full
};

// A trouble that is a link loss: the window closes the box at the first such transaction,
// says once on the status bar that it is not connected, and looks for it again. A box still
// listed that leaves requests unanswered is no loss: each request fails with its own text.
inline bool isLoss(Trouble trouble) {
    switch (trouble) {
    case Trouble::WriteFail:
    case Trouble::ReadFail:
    case Trouble::RxQueueFail:
    case Trouble::Vanished:
        return true;
    case Trouble::Refuse:
    case Trouble::Silent:
    case Trouble::Short:
    case Trouble::Long:
    case Trouble::ReadOverreport:
        break;
    }
    return false;
}
inline const QString kLost = "VELTRIKA USB not connected!@0";
inline const QString kNotConnected = "VELTRIKA USB not connected!@4000";

constexpr TroubleInfo kTroubles[] = {
    {"refused", Trouble::Refuse, true},
    {"silent", Trouble::Silent, true},
    {"short", Trouble::Short, true},
    {"long", Trouble::Long, false},
    {"write fail", Trouble::WriteFail, true},
    {"read fail", Trouble::ReadFail, true},
    {"rx queue fail", Trouble::RxQueueFail, true},
    {"read overreport", Trouble::ReadOverreport, false},
    {"vanished", Trouble::Vanished, true},
};

inline Fault faultOf(Trouble trouble) {
    switch (trouble) {
    case Trouble::Refuse:
        return Fault::Refuse;
    case Trouble::Silent:
        return Fault::Silent;
    case Trouble::Short:
        return Fault::Short;
    case Trouble::Long:
        return Fault::Long;
    case Trouble::WriteFail:
        return Fault::WriteFail;
    case Trouble::ReadFail:
        return Fault::ReadFail;
    case Trouble::RxQueueFail:
        return Fault::RxQueueFail;
    case Trouble::ReadOverreport:
    case Trouble::Vanished:
        break;
    }
    return Fault::ReadOverreport;
}

// Which EDID a read of this kind brings into the text.
enum class ActionEdid { None, Own, TopSink, BotSink };

struct Action {
    const char *name;
    const char *slot;         // invoked on the window; null for the tick and the start-up
    QStringList failMessages; // "text@ms", repeats in a row shown once
    QStringList goodMessages;
    uint32_t maxFrames;
    uint32_t waitsMs; // the program's own waits between frames, at most
    ActionEdid edid = ActionEdid::None;
    bool writesEdid = false;
    // Shown only when a later request fails after the first ones got through.
    QStringList laterFailureMessages = {};
};

inline const QString kWritingValues = "Error Writing values@4000";
inline const QString kReadingValues = "Error Reading values@4000";
inline const QString kBlockRead = "...@2000";

inline QList<Action> actions() {
    QList<Action> list;
    // Each setting slot writes one register and says nothing when the device accepts.
    const char *plainSettings[] = {
        "SetActivePort", "SetAutoSwitch",    "SetAudioSource", "SetHDCP_Version",  "SetOut_420",
        "force2c",       "force51",          "set3D",          "forceHdr",         "forceFullAudio",
        "setSwPriority", "changeCustomEdid", "CecLpRepurp",    "hdrForceActivate", "hdrSamsung",
        "setLogoLed",    "setBlueLed",       "setBt2020",      "factoryReset",     "setYUV",
        "setCEC",        "setCecLa",         "setAVR",         "setEdidAlgo",      "setAviPers",
        "SetEPState",
    };
    for (const char *slot : plainSettings) {
        list << Action{slot, slot, {kWritingValues}, {}, 1, 0};
    }
    list << Action{"SetEDID_Mode", "SetEDID_Mode", {kWritingValues}, {"EDID Writing Busy@2000"}, 1, 0};
    list << Action{
        "WriteCEC", "WriteCEC", {"Error Writing CEC command.@4000"}, {"CEC values written...@2000"}, 2, 100};
    list << Action{
        "SaveCEC_1", "SaveCEC_1", {"Error Writing CEC values.@4000"}, {"CEC values written...@2000"}, 1, 0};
    list << Action{
        "SaveCEC_2", "SaveCEC_2", {"Error Writing CEC values.@4000"}, {"CEC values written...@2000"}, 1, 0};
    list << Action{
        "WriteIF", "WriteIF", {"Error Writing Infoframe values.@4000"}, {"Infoframe values written...@2000"},
        2,         100};
    list << Action{"sendAVI", "sendAVI", {"Error Writing AVI command.@4000"}, {"AVI values written...@2000"},
                   3,         100};
    // A failed fetch is reported and ends the read: the window holds nothing asked for.
    list << Action{"ReadEDID",      "ReadEDID",       {kWritingValues}, {"EDID values read.@2000"},
                   kEdidReadFrames, kEdidReadWaitsMs, ActionEdid::Own,  false,
                   {kReadingValues}};
    list << Action{"readTvEdidA",   "readTvEdidA",    {kWritingValues},    {"TV EDID values read.@2000"},
                   kEdidReadFrames, kEdidReadWaitsMs, ActionEdid::TopSink, false,
                   {kReadingValues}};
    list << Action{"readTvEdidB",   "readTvEdidB",    {kWritingValues},    {"TV EDID values read.@2000"},
                   kEdidReadFrames, kEdidReadWaitsMs, ActionEdid::BotSink, false,
                   {kReadingValues}};
    Action write{
        "WriteEDID", "WriteEDID", {"Error Writing EDID values.@2000"}, {"EDID values written...@2000"},
        33,          32 * 30};
    write.writesEdid = true;
    write.laterFailureMessages = {"Error Populating EDID values.@2000"};
    list << write;
    // The tick: the control synchronisation's two reads, then the four reads of the texts.
    list << Action{"tick", nullptr, {kReadingValues, kBlockRead}, {}, 6, 0};
    // The start-up: the synchronisation, three block reads, the texts and the EDID read.
    list << Action{"start-up",
                   nullptr,
                   {kReadingValues, kBlockRead, kWritingValues},
                   {"EDID values read.@2000"},
                   2 + 3 + 4 + kEdidReadFrames,
                   kEdidReadWaitsMs,
                   ActionEdid::Own,
                   false,
                   {kReadingValues}};
    return list;
}

inline std::optional<Action> actionNamed(const QString &name) {
    for (const Action &action : actions()) {
        if (name == QLatin1String(action.name)) {
            return action;
        }
    }
    return std::nullopt;
}

// The messages as "text@ms", a message repeated in a row listed once.
inline QStringList shownMessages(const StatusRecorder &recorder) {
    QStringList list;
    for (const StatusMessage &message : recorder.messages()) {
        const QString entry = QStringLiteral("%1@%2").arg(message.text).arg(message.timeoutMs);
        if (list.isEmpty() || list.last() != entry) {
            list << entry;
        }
    }
    return list;
}

inline QString edidText(Rig &rig) {
    return rig.widget<QTextEdit>("EDIDtext")->toPlainText();
}

inline void tick(MainWindow &window) {
    QTimerEvent event(statusTimerId(window));
    QCoreApplication::sendEvent(&window, &event);
}

inline sim::EdidImage sourceImage(Rig &rig, ActionEdid source) {
    switch (source) {
    case ActionEdid::TopSink:
        return rig.box.topSinkEdid();
    case ActionEdid::BotSink:
        return rig.box.botSinkEdid();
    case ActionEdid::Own:
    case ActionEdid::None:
        break;
    }
    return rig.box.ownEdid();
}

// What the window needs before the action can reach the device: the custom EDID mode for
// a write, the confirmation for a factory reset, texts the packet senders accept.
inline void prepare(Rig &rig, const Action &action) {
    rig.widget<QRadioButton>("customEDID")->setChecked(true);
    rig.widget<QComboBox>("cmBEdid")->setCurrentIndex(0);
    rig.widget<QTextEdit>("EDIDtext")->setPlainText(formatEdidText(sim::buildEdid("SENTINEL", 0x5E17)));
    rig.widget<QTextEdit>("CECtext")->setPlainText("40:04");
    rig.widget<QTextEdit>("IFtext")->setPlainText("87:01:1a:02:00:c2:33");
    rig.widget<QTextEdit>("AVItext")->setPlainText("82:02:0d:00:10");
    if (QLatin1String(action.name) == QLatin1String("factoryReset")) {
        rig.widget<QLineEdit>("leReset")->setText("RESET");
        rig.widget<QAbstractButton>("cbClearSettings")->setChecked(true);
    }
}

inline void perform(Rig &rig, const Action &action) {
    if (action.slot != nullptr) {
        QVERIFY2(QMetaObject::invokeMethod(&rig.window(), action.slot), action.slot);
    } else if (QLatin1String(action.name) == QLatin1String("tick")) {
        tick(rig.window());
    } else {
        rig.start();
    }
}

inline void inject(Rig &rig, Trouble trouble, int after = 0, int count = 1 << 20) {
    if (trouble == Trouble::Vanished) {
        rig.box.vanish();
    } else {
        rig.box.injectFaultForNext(faultOf(trouble), count, after);
    }
}

inline int writeCalls(const sim::SimulatedBox &box, size_t from) {
    int count = 0;
    for (size_t i = from; i < box.calls().size(); ++i) {
        count += box.calls()[i].rfind("write ", 0) == 0 ? 1 : 0;
    }
    return count;
}

// The time an action took, split into the program's own waits and the rest, which only
// the link's time-outs can have used.
struct Timing {
    uint32_t elapsed = 0;
    uint32_t waits = 0;
};

inline Timing timing(Rig &rig, uint32_t start) {
    Timing t;
    t.elapsed = rig.clock.tickCount() - start;
    for (uint32_t ms : rig.clock.sleeps()) {
        t.waits += ms == kRxPollSleepMs ? 0 : ms;
    }
    return t;
}

} // namespace robustness

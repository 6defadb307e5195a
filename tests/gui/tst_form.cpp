// The main window's form: every widget with its class, text, font and first state, the
// button groups, the tab pages, the menus, the focus chain, the slot table, the 52
// connections, the About box, and a layout that shows every text whole.

#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <algorithm>
#include <climits>
#include <iterator>
#include <memory>

namespace {

enum Weight { AnyWeight = -1, NormalWeight = 0, BoldWeight = 1 };
enum Check { NotCheckable = -1, Unchecked = 0, Checked = 1 };

// One widget of the form as the user first sees it. pointSize 0 and an empty family
// mean the form gives no such font attribute.
struct FormWidget {
    const char *name;
    const char *className;
    const char *text;
    int pointSize;
    Weight weight;
    const char *family;
    Check check;
    const char *group;
    const char *toolTip;
};

const char *const kTitleImage = "<html><head/><body><p><img src=\":/Veltrika_32.png\"/></p></body></html>";
const char *const kExamples =
    "<html><head/><body><p>Examples:</p><p>0f:36 - turn off [broadcast]</p><p>50:04 - turn on [TV]</p>"
    "<p>54:44:01 - menu up [playback device 1]</p><p>58:44:02 - menu down [playback device 2]</p>"
    "<p>5b:44:40 - toggle power [playback device 3]</p><p><br/></p></body></html>";
const char *const kHdrExample =
    "<html><head/><body><p>Example:87:01:17:5c:02:00:d0:84:80:3e:c2:33:..</p></body></html>";
const char *const k600MHzOnly = "Enabled for 600MHz inputs only";
const char *const kTimes = "Times New Roman";

const FormWidget kWidgets[] = {
    // Status header
    {"labelTitle_2", "QLabel", kTitleImage, 12, BoldWeight, "", NotCheckable, "", ""},
    {"labelTitle", "QLabel", "VELTRIKA GUI", 12, BoldWeight, "", NotCheckable, "", ""},
    {"labelFw1", "QLabel", "ver: ", 0, AnyWeight, "", NotCheckable, "", ""},
    {"frame_2", "QFrame", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"lblVideoSource", "QLabel", "Video Source:", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_video_format", "QLabel", "Video Format", 0, AnyWeight, "", NotCheckable, "", ""},
    {"lblCsc", "QLabel", "Color Space", 0, AnyWeight, "", NotCheckable, "", ""},
    {"lblHdrInput", "QLabel", "HDR Input:", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_3", "QLabel", "ACTIVE INPUT:", 12, NormalWeight, "", NotCheckable, "", ""},
    {"cmbInputSel", "QComboBox", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_10", "QLabel", "AUTO SWITCH:", 10, AnyWeight, "", NotCheckable, "", ""},
    {"autoSwEn", "QRadioButton", "ENABLE", 10, AnyWeight, "", Checked, "buttonGroup_2", ""},
    {"autoSwDis", "QRadioButton", "DISABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_2", ""},
    {"label_12", "QLabel", " PRIORITY:", 10, AnyWeight, "", NotCheckable, "", ""},
    {"bPrioNorm", "QRadioButton", "NORMAL", 8, AnyWeight, "", Checked, "buttonGroup_5", ""},
    {"pPrioForce", "QRadioButton", "FORCED", 8, AnyWeight, "", Unchecked, "buttonGroup_5", ""},
    {"label_5", "QLabel", "AUDIO SOURCE:", 10, AnyWeight, "", NotCheckable, "", ""},
    {"audioHdmi", "QRadioButton", "HDMI", 10, AnyWeight, "", Checked, "buttonGroup_3", ""},
    {"audioJack", "QRadioButton", "JACK", 10, AnyWeight, "", Unchecked, "buttonGroup_3", ""},
    {"label_6", "QLabel", "HDCP VERSION:", 10, AnyWeight, "", NotCheckable, "", ""},
    {"hdcp14", "QRadioButton", "1.4", 10, AnyWeight, "", Checked, "buttonGroup_4", ""},
    {"hdcp22", "QRadioButton", "2.2", 10, AnyWeight, "", Unchecked, "buttonGroup_4", ""},
    {"tabWidget", "QTabWidget", "", 0, AnyWeight, "", NotCheckable, "", ""},
    // EDID MANAGER
    {"automixEDID", "QRadioButton", "AUTOMIX: Allow VELTRIKA to create the EDID table", 0, AnyWeight, "",
     Checked, "buttonGroup_6", ""},
    {"cb2cForce", "QCheckBox", "2.0 Stereo", 0, AnyWeight, "", Unchecked, "", ""},
    {"cb51", "QCheckBox", "5.1 Multi", 0, AnyWeight, "", Unchecked, "", ""},
    {"cbFull", "QCheckBox", "FULL Audio", 0, AnyWeight, "", Unchecked, "", ""},
    {"cbYUV", "QCheckBox", "Allow YCbCr", 0, AnyWeight, "", Checked, "", ""},
    {"cbBt2020", "QCheckBox", "BT.2020", 0, AnyWeight, "", Unchecked, "", ""},
    {"cbHdr", "QCheckBox", "HDR packet", 0, AnyWeight, "", Checked, "", ""},
    {"cb3D", "QCheckBox", "3D Remove", 0, AnyWeight, "", Unchecked, "", ""},
    {"fixedEDID", "QRadioButton", "FIXED EDID: Use the fixed default EDID table", 0, AnyWeight, "", Unchecked,
     "buttonGroup_6", ""},
    {"customEDID", "QRadioButton", "CUSTOM Select:", 0, AnyWeight, "", Unchecked, "buttonGroup_6", ""},
    {"cmBEdid", "QComboBox", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"EDIDtext", "QTextEdit", "", 0, AnyWeight, "Courier New", NotCheckable, "", ""},
    {"ButReadEDID", "QPushButton", "Read Veltrika EDID", 0, AnyWeight, "", NotCheckable, "", ""},
    {"pbReadTvEdidA", "QPushButton", "Read TV [TOP] EDID", 0, AnyWeight, "", NotCheckable, "", ""},
    {"pbReadTvEdidB", "QPushButton", "Read TV [BOT] EDID", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButLoadEDID", "QPushButton", "Load from File", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButSaveEDID", "QPushButton", "Save to File", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButWriteEDID", "QPushButton", "Write EDID to Veltrika", 0, AnyWeight, "", NotCheckable, "", ""},
    // CEC COMMANDER
    {"cbCec", "QCheckBox", "CEC ENABLE", 0, AnyWeight, "", Checked, "", ""},
    {"label_26", "QLabel", "Activate Veltrika CEC processing", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_28", "QLabel", "VELTRIKA CEC DEVICE TYPE:", 0, AnyWeight, "", NotCheckable, "", ""},
    {"cmbLa", "QComboBox", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_4", "QLabel", "CEC COMMAND:", 12, AnyWeight, "", NotCheckable, "", ""},
    {"CECtext", "QTextEdit", "", 10, BoldWeight, kTimes, NotCheckable, "", ""},
    {"label_2", "QLabel", kExamples, 9, AnyWeight, "", NotCheckable, "", ""},
    {"ButWriteCEC", "QPushButton", "Send CEC", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButSaveCEC_1", "QPushButton", "Save CEC SP", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButSaveCEC_2", "QPushButton", "Save CEC LP", 0, AnyWeight, "", NotCheckable, "", ""},
    // HDR / IF
    {"cbHdrForceMode", "QCheckBox", "FORCE HDR ALWAYS ACTIVE", 0, AnyWeight, "", Unchecked, "", ""},
    {"bFullHdr", "QRadioButton", "Full HDR mode", 8, AnyWeight, "", Checked, "buttonGroup_7", ""},
    {"bSamHdr", "QRadioButton", "Samsung HDR mode", 8, AnyWeight, "", Unchecked, "buttonGroup_7", ""},
    {"label_36", "QLabel", "Activate HDR - send the HDR IF below", 0, AnyWeight, "", NotCheckable, "", ""},
    {"cbAviPersistent", "QCheckBox", "REPLACE AVI", 0, AnyWeight, "", Unchecked, "", ""},
    {"label_40", "QLabel", "Replace AVI - send the AVI IF below [for advanced users]", 0, AnyWeight, "",
     NotCheckable, "", ""},
    {"label_8", "QLabel", "CUSTOM HDR IF:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"IFtext", "QTextEdit", "", 10, BoldWeight, kTimes, NotCheckable, "", ""},
    {"label_39", "QLabel", "This infoframe is injected when HDR is active", 0, AnyWeight, "", NotCheckable,
     "", ""},
    {"label_20", "QLabel", kHdrExample, 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_16", "QLabel", "include header and CRC, length 2-31 bytes", 0, AnyWeight, "", NotCheckable, "",
     ""},
    {"label_32", "QLabel", "HDR IF is persistent", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButWriteIF", "QPushButton", "Send IF", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_9", "QLabel", "CUSTOM AVI IF:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"AVItext", "QTextEdit", "", 10, BoldWeight, kTimes, NotCheckable, "", ""},
    {"label", "QLabel", "Example to inject BT2020 Color Space:", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_13", "QLabel", "60:c8:60:61:00", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_14", "QLabel", "no header, no CRC, start with data byte 1", 0, AnyWeight, "", NotCheckable, "",
     ""},
    {"label_19", "QLabel", "length 2-13", 0, AnyWeight, "", NotCheckable, "", ""},
    {"ButWriteAVI", "QPushButton", "Send AVI", 0, AnyWeight, "", NotCheckable, "", ""},
    {"line_5", "QFrame", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_41", "QLabel", "HDR INFOFRAME CAPTURE:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"txtHdrIf", "QTextEdit", "", 10, BoldWeight, kTimes, NotCheckable, "", ""},
    {"label_22", "QLabel", "If the source is sending HDR Infoframe, it appears here", 0, AnyWeight, "",
     NotCheckable, "", ""},
    // CONFIG
    {"label_27", "QLabel", "LED CONTROL:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"label_23", "QLabel", "GREEN LED:", 9, AnyWeight, "", NotCheckable, "", ""},
    {"enableLed", "QRadioButton", "ENABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_10", ""},
    {"disableLed", "QRadioButton", "DISABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_10", ""},
    {"label_25", "QLabel", "BLUE LEDS:", 9, AnyWeight, "", NotCheckable, "", ""},
    {"enableBLed", "QRadioButton", "ENABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_9", ""},
    {"disableBLed", "QRadioButton", "DISABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_9", ""},
    {"label_21", "QLabel", "HDR HOTKEY:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"bHdrRepurpEn", "QRadioButton", "ENABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_13", ""},
    {"bHdrRepurpDis", "QRadioButton", "DISABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_13", ""},
    {"label_15", "QLabel", "Repurpose CEC SP/LP buttons as HDR enable/disable", 0, AnyWeight, "",
     NotCheckable, "", ""},
    {"label_7", "QLabel", "4:2:0 OUTPUT:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"enable420", "QRadioButton", "ENABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_8", k600MHzOnly},
    {"disable420", "QRadioButton", "DISABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_8", ""},
    {"label_29", "QLabel", "Enable 600MHz automatic 4:4:4/RGB to 4:2:0 conversion", 0, AnyWeight, "",
     NotCheckable, "", ""},
    {"label_31", "QLabel", "TOP output 4:2:0, BOT output bypass", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_37", "QLabel", "AUTOMIX ALGO:", 11, AnyWeight, "", NotCheckable, "", ""},
    {"cmbEdidAlgo", "QComboBox", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_38", "QLabel", "Selects the EDID automix algorithm based on priorities", 0, AnyWeight, "",
     NotCheckable, "", ""},
    {"line_2", "QFrame", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_33", "QLabel", "BETA test mode:", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_11", "QLabel", "AVR Audio: ", 11, AnyWeight, "", NotCheckable, "", ""},
    {"enableAVR", "QRadioButton", "ENABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_12", k600MHzOnly},
    {"disableAVR", "QRadioButton", "DISABLE", 10, AnyWeight, "", Unchecked, "buttonGroup_12", ""},
    {"label_30", "QLabel", "Special AVR audio compatibility test mode", 0, AnyWeight, "", NotCheckable, "",
     ""},
    {"label_34", "QLabel", "TOP output audio / BOT output video", 0, AnyWeight, "", NotCheckable, "", ""},
    {"line", "QFrame", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"label_24", "QLabel", "RESET TO FACTORY DEFAULTS:", 12, AnyWeight, "", NotCheckable, "", ""},
    {"cbClearSettings", "QCheckBox", "CLEAR ALL SETTINGS TO FACTORY DEFAULTS", 0, AnyWeight, "", Unchecked,
     "", ""},
    {"cbClearEdid", "QCheckBox", "EDID FACTORY SETTINGS", 0, AnyWeight, "", Unchecked, "", ""},
    {"label_17", "QLabel", "Type RESET and click OK:", 0, AnyWeight, "", NotCheckable, "", ""},
    {"leReset", "QLineEdit", "", 0, AnyWeight, "", NotCheckable, "", ""},
    {"pbReset", "QPushButton", "OK", 0, AnyWeight, "", NotCheckable, "", ""},
};

struct Group {
    const char *name;
    QStringList members;
    const char *checked;
};

const Group kGroups[] = {
    {"buttonGroup_2", {"autoSwEn", "autoSwDis"}, "autoSwEn"},
    {"buttonGroup_3", {"audioHdmi", "audioJack"}, "audioHdmi"},
    {"buttonGroup_4", {"hdcp14", "hdcp22"}, "hdcp14"},
    {"buttonGroup_5", {"bPrioNorm", "pPrioForce"}, "bPrioNorm"},
    {"buttonGroup_6", {"automixEDID", "fixedEDID", "customEDID"}, "automixEDID"},
    {"buttonGroup_7", {"bFullHdr", "bSamHdr"}, "bFullHdr"},
    {"buttonGroup_8", {"enable420", "disable420"}, ""},
    {"buttonGroup_9", {"enableBLed", "disableBLed"}, ""},
    {"buttonGroup_10", {"enableLed", "disableLed"}, ""},
    {"buttonGroup_12", {"enableAVR", "disableAVR"}, ""},
    {"buttonGroup_13", {"bHdrRepurpEn", "bHdrRepurpDis"}, ""},
};

const QStringList kFocusChain = {
    "autoSwEn",    "audioHdmi",      "audioJack",   "hdcp22",        "tabWidget",       "autoSwDis",
    "bPrioNorm",   "pPrioForce",     "hdcp14",      "cmBEdid",       "EDIDtext",        "cb2cForce",
    "cbFull",      "cb51",           "automixEDID", "fixedEDID",     "customEDID",      "cbHdr",
    "cbBt2020",    "cbYUV",          "ButReadEDID", "pbReadTvEdidA", "pbReadTvEdidB",   "ButLoadEDID",
    "ButSaveEDID", "ButWriteEDID",   "cb3D",        "CECtext",       "ButSaveCEC_1",    "ButSaveCEC_2",
    "ButWriteCEC", "cbCec",          "cmbLa",       "IFtext",        "ButWriteIF",      "AVItext",
    "ButWriteAVI", "cbHdrForceMode", "bSamHdr",     "bFullHdr",      "cbClearSettings", "enableLed",
    "disableLed",  "enableBLed",     "disableBLed", "leReset",       "pbReset",         "enable420",
    "disable420",  "disableAVR",     "enableAVR",
};

const char *const kSlots[] = {
    "on_ProgressChange(int,int)",
    "SaveEDIDtoFile()",
    "LoadEDIDfromFile()",
    "FileExit()",
    "FileAbout()",
    "ReadEDID()",
    "WriteEDID()",
    "WriteCEC()",
    "WriteIF()",
    "CalculateChkSum()",
    "SetActivePort()",
    "SetAutoSwitch()",
    "SetAudioSource()",
    "SetHDCP_Version()",
    "SetOut_420()",
    "SetEDID_Mode()",
    "SetEPState()",
    "SaveCEC_1()",
    "SaveCEC_2()",
    "force2c()",
    "force51()",
    "forceHdr()",
    "forceFullAudio()",
    "setSwPriority()",
    "changeCustomEdid()",
    "sendAVI()",
    "CecLpRepurp()",
    "hdrForceActivate()",
    "hdrSamsung()",
    "setLogoLed()",
    "setBt2020()",
    "setBlueLed()",
    "factoryReset()",
    "setYUV()",
    "setCEC()",
    "setCecLa()",
    "setAVR()",
    "readTvEdidA()",
    "readTvEdidB()",
    "set3D()",
    "setEdidAlgo()",
    "setAviPers()",
};

struct Connection {
    const char *sender;
    const char *signal;
    const char *slot;
};

const Connection kConnections[] = {
    {"actionExit", "triggered()", "FileExit()"},
    {"actionAbout", "triggered()", "FileAbout()"},
    {"autoSwEn", "clicked()", "SetAutoSwitch()"},
    {"audioHdmi", "clicked()", "SetAudioSource()"},
    {"hdcp14", "clicked()", "SetHDCP_Version()"},
    {"autoSwDis", "clicked()", "SetAutoSwitch()"},
    {"audioJack", "clicked()", "SetAudioSource()"},
    {"hdcp22", "clicked()", "SetHDCP_Version()"},
    {"bPrioNorm", "clicked()", "setSwPriority()"},
    {"pPrioForce", "clicked()", "setSwPriority()"},
    {"ButReadEDID", "released()", "ReadEDID()"},
    {"ButWriteEDID", "pressed()", "WriteEDID()"},
    {"ButLoadEDID", "released()", "LoadEDIDfromFile()"},
    {"ButSaveEDID", "released()", "SaveEDIDtoFile()"},
    {"pbReadTvEdidA", "released()", "CalculateChkSum()"},
    {"ButWriteCEC", "released()", "WriteCEC()"},
    {"enable420", "clicked()", "SetOut_420()"},
    {"disable420", "clicked()", "SetOut_420()"},
    {"automixEDID", "clicked()", "SetEDID_Mode()"},
    {"fixedEDID", "clicked()", "SetEDID_Mode()"},
    {"customEDID", "clicked()", "SetEDID_Mode()"},
    {"ButSaveCEC_1", "released()", "SaveCEC_1()"},
    {"ButSaveCEC_2", "released()", "SaveCEC_2()"},
    {"ButWriteIF", "released()", "WriteIF()"},
    {"cb2cForce", "stateChanged(int)", "force2c()"},
    {"cb51", "stateChanged(int)", "force51()"},
    {"cbHdr", "stateChanged(int)", "forceHdr()"},
    {"cbFull", "stateChanged(int)", "forceFullAudio()"},
    {"cmBEdid", "currentIndexChanged(int)", "changeCustomEdid()"},
    {"ButWriteAVI", "released()", "sendAVI()"},
    {"enableLed", "clicked()", "setLogoLed()"},
    {"disableLed", "clicked()", "setLogoLed()"},
    {"cbBt2020", "stateChanged(int)", "setBt2020()"},
    {"pbReset", "clicked()", "factoryReset()"},
    {"enableBLed", "clicked()", "setBlueLed()"},
    {"disableBLed", "clicked()", "setBlueLed()"},
    {"cbYUV", "stateChanged(int)", "setYUV()"},
    {"cbCec", "stateChanged(int)", "setCEC()"},
    {"cmbLa", "currentIndexChanged(int)", "setCecLa()"},
    {"enableAVR", "clicked()", "setAVR()"},
    {"disableAVR", "clicked()", "setAVR()"},
    {"pbReadTvEdidA", "pressed()", "readTvEdidA()"},
    {"pbReadTvEdidB", "pressed()", "readTvEdidB()"},
    {"cb3D", "stateChanged(int)", "set3D()"},
    {"cmbEdidAlgo", "currentIndexChanged(int)", "setEdidAlgo()"},
    {"bHdrRepurpEn", "clicked()", "CecLpRepurp()"},
    {"bHdrRepurpDis", "clicked()", "CecLpRepurp()"},
    {"cmbInputSel", "currentIndexChanged(int)", "SetActivePort()"},
    {"cbAviPersistent", "clicked()", "setAviPers()"},
    {"cbHdrForceMode", "stateChanged(int)", "hdrForceActivate()"},
    {"bSamHdr", "clicked()", "hdrSamsung()"},
    {"bFullHdr", "clicked()", "hdrSamsung()"},
};

// receivers() and isSignalConnected() are protected; a pointer to member formed through
// a subclass reaches them on any object.
struct SignalProbe : QObject {
    static int receiverCount(const QObject *object, const QByteArray &signal) {
        int (QObject::*count)(const char *) const = &SignalProbe::receivers;
        return (object->*count)(signal.constData());
    }
    static bool connected(const QObject *object, const QMetaMethod &signal) {
        bool (QObject::*test)(const QMetaMethod &) const = &SignalProbe::isSignalConnected;
        return (object->*test)(signal);
    }
};

QByteArray signalCode(const char *signature) {
    return QByteArray("2") + signature;
}
QByteArray slotCode(const char *signature) {
    return QByteArray("1") + signature;
}

QString shownText(QWidget *widget) {
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        return label->text();
    }
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        return button->text();
    }
    if (auto *edit = qobject_cast<QTextEdit *>(widget)) {
        return edit->toPlainText();
    }
    if (auto *line = qobject_cast<QLineEdit *>(widget)) {
        return line->text();
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        return combo->currentText();
    }
    return QString();
}

// Widgets the form places by name; Qt's own parts (scroll bars, viewports, the tab bar)
// carry no name or a "qt_" one.
bool isFormWidget(const QWidget *widget) {
    return !widget->objectName().isEmpty() && !widget->objectName().startsWith(QLatin1String("qt_"));
}

// The form widget that holds the focus: the tab widget for its own tab bar.
QString focusedName() {
    QWidget *widget = QApplication::focusWidget();
    while (widget != nullptr && !isFormWidget(widget)) {
        widget = widget->parentWidget();
    }
    return widget != nullptr ? widget->objectName() : QString();
}

int pageOf(QTabWidget *tabs, QWidget *widget) {
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(widget)) {
            return i;
        }
    }
    return -1;
}

} // namespace

class TestForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void widgets_data();
    void widgets();
    void everyWidgetIsListed();
    void buttonGroups_data();
    void buttonGroups();
    void noCheckBoxInAGroup();
    void frames_data();
    void frames();
    void examplesLabel();
    void resetLineEditTakesFiftyCharacters();
    void comboLimits_data();
    void comboLimits();
    void windowProperties();
    void tabs();
    void menus();
    void layouts();
    void focusChain();
    void tabLeavesTextBoxes_data();
    void tabLeavesTextBoxes();
    void tabReachesEveryControl_data();
    void tabReachesEveryControl();
    void slotTable_data();
    void slotTable();
    void metaObjectShape();
    void connections_data();
    void connections();
    void fiftyTwoConnectionsToTheWindow();
    void aboutBox_data();
    void aboutBox();
    void textsFitAndNothingOverlaps_data();
    void textsFitAndNothingOverlaps();
    void enlargingMovesNothing();

private:
    MainWindow &freshWindow();
    template <typename T> T *find(const char *name) {
        return rig_->window().findChild<T *>(QLatin1String(name));
    }

    std::unique_ptr<Rig> rig_;
};

void TestForm::initTestCase() {
    Q_INIT_RESOURCE(resqrc);
    rig_ = std::make_unique<Rig>();
    rig_->box.setAttachedDevices({});
    freshWindow();
    QCOMPARE(rig_->boxWatcher.texts(), QStringList{"VELTRIKA USB not connected!"});
}

void TestForm::cleanupTestCase() {
    rig_.reset();
}

// A window straight from its set-up, on the box with no device attached.
MainWindow &TestForm::freshWindow() {
    rig_->closeWindow();
    return rig_->start();
}

void TestForm::widgets_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("weight");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("toolTip");
    for (const FormWidget &w : kWidgets) {
        QTest::newRow(w.name) << QString(w.className) << QString(w.text) << w.pointSize << int(w.weight)
                              << QString(w.family) << int(w.check) << QString(w.group) << QString(w.toolTip);
    }
}

void TestForm::widgets() {
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(int, pointSize);
    QFETCH(int, weight);
    QFETCH(QString, family);
    QFETCH(int, check);
    QFETCH(QString, group);
    QFETCH(QString, toolTip);

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QList<QWidget *> named = rig_->window().findChildren<QWidget *>(name);
    QCOMPARE(named.size(), 1);
    QWidget *widget = named.first();
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QCOMPARE(shownText(widget), text);
    QCOMPARE(widget->toolTip(), toolTip);
    QVERIFY(widget->isEnabled());

    const bool ownFont = pointSize != 0 || weight != AnyWeight || !family.isEmpty();
    QCOMPARE(widget->testAttribute(Qt::WA_SetFont), ownFont);
    const QFont font = widget->font();
    if (pointSize != 0) {
        QCOMPARE(font.pointSize(), pointSize);
    }
    if (weight == BoldWeight) {
        QVERIFY(font.bold());
        QCOMPARE(font.weight(), QFont::Bold);
    } else if (weight == NormalWeight) {
        QVERIFY(!font.bold());
        QCOMPARE(font.weight(), QFont::Normal);
    }
    if (!family.isEmpty()) {
        QCOMPARE(font.family(), family);
    }

    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QCOMPARE(button->isCheckable(), check != NotCheckable);
        QCOMPARE(button->isChecked(), check == Checked);
        QCOMPARE(button->group() ? button->group()->objectName() : QString(), group);
        if (qobject_cast<QRadioButton *>(widget)) {
            QVERIFY(button->autoExclusive());
        }
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QCOMPARE(combo->count(), 0);
    }
    if (auto *edit = qobject_cast<QTextEdit *>(widget)) {
        QVERIFY(!edit->isReadOnly());
    }
}

// The table above holds every widget the form places; besides them there are only the
// window's frame widgets, the tab pages and the holders of the four small layouts.
void TestForm::everyWidgetIsListed() {
    QStringList listed;
    for (const FormWidget &w : kWidgets) {
        listed << QString(w.name);
    }
    const QStringList frameWidgets = {"centralwidget", "menubar",  "statusbar", "menuFile",
                                      "menuEdit",      "menuView", "menuHelp",  "tab",
                                      "tab_3",         "tab_2",    "tab_4",     "menuConfigurations"};
    QStringList unlisted;
    for (QWidget *widget : rig_->window().findChildren<QWidget *>()) {
        // Children of Qt's own parts (the tab bar's scroll buttons) belong to Qt.
        QWidget *parent = widget->parentWidget();
        const bool insideQtPart = parent != &rig_->window() && !isFormWidget(parent);
        if (!isFormWidget(widget) || insideQtPart || listed.contains(widget->objectName()) ||
            frameWidgets.contains(widget->objectName())) {
            continue;
        }
        const bool layoutHolder =
            QString(widget->metaObject()->className()) == "QWidget" && widget->layout() != nullptr;
        if (!layoutHolder) {
            unlisted << widget->objectName();
        }
    }
    QCOMPARE(unlisted.join(QLatin1Char(',')), QString());
}

void TestForm::buttonGroups_data() {
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<QString>("checked");
    for (const Group &group : kGroups) {
        QTest::newRow(group.name) << group.members << QString(group.checked);
    }
}

void TestForm::buttonGroups() {
    QFETCH(QStringList, members);
    QFETCH(QString, checked);
    auto *group = find<QButtonGroup>(QTest::currentDataTag());
    QVERIFY(group != nullptr);
    QCOMPARE(group->parent(), &rig_->window());
    QVERIFY(group->exclusive());
    QStringList names;
    for (QAbstractButton *button : group->buttons()) {
        names << button->objectName();
    }
    QCOMPARE(names, members);
    QCOMPARE(group->checkedButton() ? group->checkedButton()->objectName() : QString(), checked);
}

void TestForm::noCheckBoxInAGroup() {
    QCOMPARE(rig_->window().findChildren<QButtonGroup *>().size(), int(std::size(kGroups)));
    for (QCheckBox *box : rig_->window().findChildren<QCheckBox *>()) {
        QVERIFY2(box->group() == nullptr, qPrintable(box->objectName()));
    }
    for (QRadioButton *radio : rig_->window().findChildren<QRadioButton *>()) {
        QVERIFY2(radio->group() != nullptr, qPrintable(radio->objectName()));
    }
}

void TestForm::frames_data() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("shadow");
    QTest::addColumn<int>("lineWidth");
    QTest::newRow("frame_2") << int(QFrame::Box) << int(QFrame::Raised) << 1;
    QTest::newRow("CECtext") << int(QFrame::Box) << int(QFrame::Plain) << 1;
    QTest::newRow("IFtext") << int(QFrame::Box) << int(QFrame::Plain) << 1;
    QTest::newRow("AVItext") << int(QFrame::Box) << int(QFrame::Plain) << 1;
    QTest::newRow("txtHdrIf") << int(QFrame::Box) << int(QFrame::Plain) << 1;
    QTest::newRow("line_5") << int(QFrame::HLine) << int(QFrame::Sunken) << 1;
    QTest::newRow("line_2") << int(QFrame::HLine) << int(QFrame::Sunken) << 1;
    QTest::newRow("line") << int(QFrame::HLine) << int(QFrame::Sunken) << 1;
}

void TestForm::frames() {
    QFETCH(int, shape);
    QFETCH(int, shadow);
    QFETCH(int, lineWidth);
    auto *frame = find<QFrame>(QTest::currentDataTag());
    QVERIFY(frame != nullptr);
    QCOMPARE(int(frame->frameShape()), shape);
    QCOMPARE(int(frame->frameShadow()), shadow);
    QCOMPARE(frame->lineWidth(), lineWidth);
    if (auto *edit = qobject_cast<QTextEdit *>(frame)) {
        QCOMPARE(edit->whatsThis(), QString());
        QCOMPARE(edit->documentTitle(), QString());
    }
}

void TestForm::examplesLabel() {
    auto *examples = find<QLabel>("label_2");
    QCOMPARE(examples->textFormat(), Qt::AutoText);
    QCOMPARE(examples->alignment(), Qt::AlignLeft | Qt::AlignTop);
    QVERIFY(!examples->wordWrap());
    QCOMPARE(examples->indent(), 0);
    QVERIFY(find<QLabel>("labelTitle_2")->text().count(QLatin1String("<img src=\":/Veltrika_32.png\"/>")) ==
            1);
}

void TestForm::resetLineEditTakesFiftyCharacters() {
    auto *reset = find<QLineEdit>("leReset");
    QVERIFY(reset->hasFrame());
    QCOMPARE(reset->maxLength(), 50);
    const QString typed = QStringLiteral("RESET").repeated(10) + QLatin1Char('X');
    QTest::keyClicks(reset, typed);
    QCOMPARE(reset->text(), typed.left(50));
    reset->clear();
}

void TestForm::comboLimits_data() {
    QTest::addColumn<int>("maxCount");
    QTest::newRow("cmbInputSel") << INT_MAX;
    QTest::newRow("cmBEdid") << 10;
    QTest::newRow("cmbLa") << 15;
    QTest::newRow("cmbEdidAlgo") << INT_MAX;
}

void TestForm::comboLimits() {
    QFETCH(int, maxCount);
    auto *combo = find<QComboBox>(QTest::currentDataTag());
    QCOMPARE(combo->maxCount(), maxCount);
    if (maxCount == INT_MAX) {
        return;
    }
    // On a window of its own: filling the box runs its setting slot.
    MainWindow &window = freshWindow();
    combo = window.findChild<QComboBox *>(QLatin1String(QTest::currentDataTag()));
    for (int i = 0; i <= maxCount; ++i) {
        combo->addItem(QString::number(i));
    }
    QCOMPARE(combo->count(), maxCount);
    QCOMPARE(combo->itemText(maxCount - 1), QString::number(maxCount - 1));
    freshWindow();
}

void TestForm::windowProperties() {
    MainWindow &window = rig_->window();
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.size(), QSize(377, 768));
    QCOMPARE(window.maximumSize(), QSize(1000, 1000));
    QCOMPARE(window.sizePolicy(), QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred));
    QCOMPARE(window.sizePolicy().horizontalStretch(), 0);
    QCOMPARE(window.sizePolicy().verticalStretch(), 0);
    QCOMPARE(window.windowTitle(), QString("VELTRIKA UTILITY"));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));

    QWidget *central = window.centralWidget();
    QCOMPARE(central->objectName(), QString("centralwidget"));
    QCOMPARE(QString(central->metaObject()->className()), QString("QWidget"));
    QVERIFY(central->layout() == nullptr);
    QCOMPARE(window.menuBar()->objectName(), QString("menubar"));
    QCOMPARE(window.statusBar()->objectName(), QString("statusbar"));
    QCOMPARE(window.statusBar()->currentMessage(), QString());
}

void TestForm::tabs() {
    auto *tabs = find<QTabWidget>("tabWidget");
    QCOMPARE(tabs->parentWidget(), rig_->window().centralWidget());
    QCOMPARE(tabs->size(), QSize(366, 481));
    QStringList pages;
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i) {
        pages << tabs->widget(i)->objectName();
        titles << tabs->tabText(i);
    }
    QCOMPARE(pages, (QStringList{"tab", "tab_3", "tab_2", "tab_4"}));
    QCOMPARE(titles, (QStringList{"EDID MANAGER", "CEC COMMANDER", "HDR / IF", "CONFIG"}));
    QCOMPARE(tabs->currentIndex(), 0);
    // The status header stands above the tab widget.
    QVERIFY(find<QWidget>("hdcp14")->geometry().bottom() < tabs->geometry().top());
}

void TestForm::menus() {
    QMenuBar *bar = rig_->window().menuBar();
    auto *file = find<QMenu>("menuFile");
    auto *edit = find<QMenu>("menuEdit");
    auto *view = find<QMenu>("menuView");
    auto *help = find<QMenu>("menuHelp");
    QCOMPARE(bar->actions(), (QList<QAction *>{file->menuAction(), edit->menuAction(), view->menuAction(),
                                               help->menuAction()}));
    QCOMPARE(file->title(), QString("File"));
    QCOMPARE(edit->title(), QString("Edit"));
    QCOMPARE(edit->actions(), QList<QAction *>{find<QAction>("actionUndoLastChange")});
    QCOMPARE(edit->actions().first()->text(), QString("Undo Last Change to Box"));
    QCOMPARE(view->title(), QString("View"));
    QCOMPARE(help->title(), QString("Help"));
    auto *exit = find<QAction>("actionExit");
    auto *about = find<QAction>("actionAbout");
    auto *edidDetails = find<QAction>("actionEdidDetails");
    auto *signalDetails = find<QAction>("actionSignalDetails");
    // The box configurations stand before Exit, a separator between.
    auto *configurations = find<QMenu>("menuConfigurations");
    QCOMPARE(file->actions().size(), 5);
    QCOMPARE(file->actions().first(3),
             (QList<QAction *>{find<QAction>("actionSaveBoxConfiguration"),
                               find<QAction>("actionLoadBoxConfiguration"), configurations->menuAction()}));
    QVERIFY(file->actions()[3]->isSeparator());
    QCOMPARE(file->actions().last(), exit);
    auto *signalHistory = find<QAction>("actionSignalHistory");
    QCOMPARE(view->actions(),
             (QList<QAction *>{edidDetails, signalDetails, signalHistory, find<QAction>("actionBoxJournal"),
                               find<QAction>("actionChainDoctor")}));
    QCOMPARE(help->actions(), QList<QAction *>{about});
    QCOMPARE(exit->text(), QString("Exit"));
    QCOMPARE(about->text(), QString("About"));
    QCOMPARE(edidDetails->text(), QString("EDID Details…"));
    QCOMPARE(signalDetails->text(), QString("Signal Details…"));
    QCOMPARE(edidDetails->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    QCOMPARE(signalDetails->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    for (QAction *action : {exit, about}) {
        QVERIFY(action->shortcut().isEmpty());
    }
    for (QAction *action : {exit, about, edidDetails, signalDetails}) {
        QVERIFY(action->icon().isNull());
    }
}

// Four small groups keep a layout of their own, with no margins; nothing else in the
// central widget is laid out.
void TestForm::layouts() {
    QList<QLayout *> layouts;
    for (QLayout *layout : rig_->window().centralWidget()->findChildren<QLayout *>()) {
        // Qt's own parts (the tab widget's page stack, the scroll areas) keep layouts of their own.
        if (isFormWidget(layout->parentWidget())) {
            layouts << layout;
        }
    }
    QCOMPARE(layouts.size(), 4);

    const auto layoutOf = [this](const char *name) { return find<QWidget>(name)->parentWidget()->layout(); };
    const auto rowNames = [](QLayout *layout) {
        QStringList names;
        for (int i = 0; i < layout->count(); ++i) {
            names << layout->itemAt(i)->widget()->objectName();
        }
        return names;
    };
    QLayout *title = layoutOf("labelTitle");
    QLayout *cecType = layoutOf("cmbLa");
    QLayout *reset = layoutOf("leReset");
    QVERIFY(qobject_cast<QHBoxLayout *>(title) != nullptr);
    QVERIFY(qobject_cast<QHBoxLayout *>(cecType) != nullptr);
    QVERIFY(qobject_cast<QHBoxLayout *>(reset) != nullptr);
    QCOMPARE(rowNames(title), (QStringList{"labelTitle_2", "labelTitle"}));
    QCOMPARE(rowNames(cecType), (QStringList{"label_28", "cmbLa"}));
    QCOMPARE(rowNames(reset), (QStringList{"label_17", "leReset", "pbReset"}));

    auto *grid = qobject_cast<QGridLayout *>(layoutOf("ButReadEDID"));
    QVERIFY(grid != nullptr);
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(grid->columnCount(), 3);
    const char *const cells[2][3] = {{"ButReadEDID", "pbReadTvEdidA", "pbReadTvEdidB"},
                                     {"ButLoadEDID", "ButSaveEDID", "ButWriteEDID"}};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(grid->itemAtPosition(row, column)->widget()->objectName(), QString(cells[row][column]));
        }
    }

    for (QLayout *layout : {title, cecType, reset, static_cast<QLayout *>(grid)}) {
        QVERIFY(layouts.contains(layout));
        QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
        QVERIFY(layout->parentWidget() != rig_->window().centralWidget());
    }
}

void TestForm::focusChain() {
    QWidget *start = find<QWidget>("autoSwEn");
    QStringList order;
    QWidget *widget = start;
    do {
        if (kFocusChain.contains(widget->objectName())) {
            order << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != start && order.size() <= kFocusChain.size());
    QCOMPARE(order, kFocusChain);
}

// Tab and Shift+Tab move along the chain out of a text box; a tab character typed into a
// hex text would shift its bytes.
void TestForm::tabLeavesTextBoxes_data() {
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("previous");
    QTest::newRow("EDIDtext") << "cb2cForce"
                              << "cmBEdid";
    QTest::newRow("CECtext") << "ButSaveCEC_1"
                             << "hdcp14";
    QTest::newRow("IFtext") << "ButWriteIF"
                            << "hdcp14";
    QTest::newRow("AVItext") << "ButWriteAVI"
                             << "ButWriteIF";
    // The capture box is outside the chain and keeps Qt's default place in it.
    QTest::newRow("txtHdrIf") << "autoSwDis"
                              << "cbAviPersistent";
}

void TestForm::tabLeavesTextBoxes() {
    QFETCH(QString, next);
    QFETCH(QString, previous);
    MainWindow &window = freshWindow();
    window.show();
    QApplication::setActiveWindow(&window);
    auto *tabs = find<QTabWidget>("tabWidget");
    auto *box = find<QTextEdit>(QTest::currentDataTag());
    tabs->setCurrentIndex(pageOf(tabs, box));
    const QString text = QStringLiteral("87:01:17");
    box->setPlainText(text);

    for (const auto &[modifier, expected] :
         {std::pair{Qt::NoModifier, next}, std::pair{Qt::ShiftModifier, previous}}) {
        box->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), box);
        QTest::keyClick(box, Qt::Key_Tab, modifier);
        QCOMPARE(focusedName(), expected);
        QCOMPARE(box->toPlainText(), text);
    }
    window.hide();
}

void TestForm::tabReachesEveryControl_data() {
    QTest::addColumn<int>("page");
    const char *const titles[] = {"EDID MANAGER", "CEC COMMANDER", "HDR / IF", "CONFIG"};
    for (int page = 0; page < int(std::size(titles)); ++page) {
        QTest::newRow(titles[page]) << page;
    }
}

// From the first control of the chain, Tab alone reaches every control of the header and
// of the page shown, the text boxes included, and comes round again.
void TestForm::tabReachesEveryControl() {
    QFETCH(int, page);
    MainWindow &window = freshWindow();
    window.show();
    QApplication::setActiveWindow(&window);
    auto *tabs = find<QTabWidget>("tabWidget");
    tabs->setCurrentIndex(page);
    QCoreApplication::processEvents();

    QStringList controls;
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        if (isFormWidget(widget) && widget->isVisible() && widget->isEnabled() &&
            (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            controls << widget->objectName();
        }
    }
    QVERIFY(controls.size() > 10);

    QWidget *first = find<QWidget>("autoSwEn");
    first->setFocus(Qt::TabFocusReason);
    QStringList reached{first->objectName()};
    for (int press = 0; press < 2 * int(controls.size()); ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == first) {
            break;
        }
        reached << focusedName();
    }
    QCOMPARE(QApplication::focusWidget(), first);
    // Tab stops once in an exclusive group, on its checked button; the arrow keys move
    // within the group.
    for (const QString &control : controls) {
        QStringList stops{control};
        if (auto *radio = find<QRadioButton>(qPrintable(control));
            radio != nullptr && radio->group() != nullptr) {
            stops.clear();
            for (QAbstractButton *member : radio->group()->buttons()) {
                stops << member->objectName();
            }
        }
        QVERIFY2(std::any_of(stops.begin(), stops.end(),
                             [&](const QString &stop) { return reached.contains(stop); }),
                 qPrintable(control));
    }
    tabs->setCurrentIndex(0);
    window.hide();
}

void TestForm::slotTable_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("signature");
    int index = 0;
    for (const char *slot : kSlots) {
        QTest::newRow(slot) << index++ << QByteArray(slot);
    }
}

void TestForm::slotTable() {
    QFETCH(int, index);
    QFETCH(QByteArray, signature);
    const QMetaObject &meta = MainWindow::staticMetaObject;
    const QMetaMethod method = meta.method(meta.methodOffset() + index);
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(method.methodType(), QMetaMethod::Slot);
    QCOMPARE(method.access(), index == 0 ? QMetaMethod::Public : QMetaMethod::Private);
    QCOMPARE(method.returnType(), signature == "sendAVI()" ? int(QMetaType::Bool) : int(QMetaType::Void));
    QCOMPARE(meta.indexOfSlot(signature.constData()), meta.methodOffset() + index);
}

void TestForm::metaObjectShape() {
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(QString(meta.className()), QString("MainWindow"));
    QCOMPARE(QString(meta.superClass()->className()), QString("QMainWindow"));
    QCOMPARE(meta.methodCount() - meta.methodOffset(), int(std::size(kSlots)));
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        QVERIFY(meta.method(i).methodType() != QMetaMethod::Signal);
    }
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());
    MainWindow &window = rig_->window();
    QCOMPARE(window.qt_metacast("MainWindow"), static_cast<void *>(&window));
    QVERIFY(window.qt_metacast("QMainWindow") != nullptr);
}

void TestForm::connections_data() {
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<int>("sameSignal");
    int number = 1;
    for (const Connection &c : kConnections) {
        int sameSignal = 0;
        for (const Connection &other : kConnections) {
            sameSignal +=
                qstrcmp(c.sender, other.sender) == 0 && qstrcmp(c.signal, other.signal) == 0 ? 1 : 0;
        }
        QTest::addRow("%d %s %s", number++, c.sender, c.signal)
            << QString(c.sender) << QByteArray(c.signal) << QByteArray(c.slot) << sameSignal;
    }
}

// Each row on a window of its own: the row takes its connections apart to count them.
void TestForm::connections() {
    QFETCH(QString, sender);
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, slot);
    QFETCH(int, sameSignal);
    MainWindow &window = freshWindow();
    QObject *from = window.findChild<QObject *>(sender);
    QVERIFY(from != nullptr);
    const int signalIndex = from->metaObject()->indexOfSignal(signal.constData());
    QVERIFY(signalIndex >= 0);
    QVERIFY(SignalProbe::connected(from, from->metaObject()->method(signalIndex)));

    const QByteArray signalString = signalCode(signal.constData());
    const QByteArray slotString = slotCode(slot.constData());
    const int before = SignalProbe::receiverCount(from, signalString);
    QVERIFY(QObject::disconnect(from, signalString.constData(), &window, slotString.constData()));
    const int withoutThisOne = SignalProbe::receiverCount(from, signalString);
    QCOMPARE(before - withoutThisOne, 1);
    QVERIFY(!QObject::disconnect(from, signalString.constData(), &window, slotString.constData()));

    // The other connections of this signal to the window are the other rows that name it.
    QObject::disconnect(from, signalString.constData(), &window, nullptr);
    QCOMPARE(withoutThisOne - SignalProbe::receiverCount(from, signalString), sameSignal - 1);

    QVERIFY(QObject::connect(from, signalString.constData(), &window, slotString.constData()));
    QCOMPARE(SignalProbe::receiverCount(from, signalString), before - sameSignal + 1);
    freshWindow();
}

// The form makes exactly its 52 connections to the window; the connect-by-name pass adds none.
void TestForm::fiftyTwoConnectionsToTheWindow() {
    MainWindow &window = freshWindow();
    int total = 0;
    QStringList seen;
    for (QObject *child : window.findChildren<QObject *>()) {
        const QMetaObject *meta = child->metaObject();
        for (int i = 0; i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            // A signal with a default argument also appears as a clone without it; both share one index.
            if (method.methodType() != QMetaMethod::Signal || (method.attributes() & QMetaMethod::Cloned)) {
                continue;
            }
            const QByteArray signal = signalCode(method.methodSignature().constData());
            const int before = SignalProbe::receiverCount(child, signal);
            QObject::disconnect(child, signal.constData(), &window, nullptr);
            const int toWindow = before - SignalProbe::receiverCount(child, signal);
            total += toWindow;
            if (toWindow > 0) {
                seen << child->objectName();
            }
        }
    }
    QCOMPARE(total, int(std::size(kConnections)));
    QStringList expected;
    for (const Connection &c : kConnections) {
        expected << QString(c.sender);
    }
    expected.removeDuplicates();
    seen.removeDuplicates();
    std::sort(expected.begin(), expected.end());
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen, expected);
    freshWindow();
}

void TestForm::aboutBox_data() {
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("by name") << false;
    QTest::newRow("Help > About") << true;
}

void TestForm::aboutBox() {
    QFETCH(bool, fromMenu);
    MainWindow &window = rig_->window();
    rig_->boxWatcher.clear();
    rig_->statusRecorder.clear();
    const size_t frames = rig_->box.frames().size();
    if (fromMenu) {
        find<QAction>("actionAbout")->trigger();
    } else {
        QVERIFY(QMetaObject::invokeMethod(&window, "FileAbout"));
    }
    QCOMPARE(rig_->boxWatcher.boxes().size(), 1);
    const ShownBox &box = rig_->boxWatcher.boxes().first();
    QCOMPARE(box.title, QString("About VELTRIKA Utility"));
    QCOMPARE(box.text, QString("<h2>VELTRIKA Utility Version 1.8</h2>"));
    QVERIFY(box.hasParent);
    QCOMPARE(rig_->box.frames().size(), frames);
    QVERIFY(rig_->statusRecorder.messages().isEmpty());
    QCOMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 0);
}

void TestForm::textsFitAndNothingOverlaps_data() {
    QTest::addColumn<bool>("hasText");
    for (const FormWidget &w : kWidgets) {
        const QString cls = QString(w.className);
        QTest::newRow(w.name) << (cls == "QLabel" || cls == "QCheckBox" || cls == "QRadioButton" ||
                                  cls == "QPushButton");
    }
}

// Every text shows whole in the form's fonts, every widget stands inside its parent and
// no two widgets of one parent overlap.
void TestForm::textsFitAndNothingOverlaps() {
    QFETCH(bool, hasText);
    MainWindow &window = rig_->window();
    window.show();
    auto *tabs = find<QTabWidget>("tabWidget");
    QWidget *widget = find<QWidget>(QTest::currentDataTag());
    const int page = pageOf(tabs, widget);
    tabs->setCurrentIndex(page < 0 ? 0 : page);
    QCoreApplication::processEvents();

    if (hasText) {
        const QSize hint = widget->sizeHint();
        QVERIFY2(widget->width() >= hint.width() && widget->height() >= hint.height(),
                 qPrintable(QString("%1x%2 for a text of %3x%4")
                                .arg(widget->width())
                                .arg(widget->height())
                                .arg(hint.width())
                                .arg(hint.height())));
    }
    QWidget *parent = widget->parentWidget();
    QVERIFY2(parent->contentsRect().contains(widget->geometry()), qPrintable(parent->objectName()));
    for (QObject *object : parent->children()) {
        auto *sibling = qobject_cast<QWidget *>(object);
        if (sibling == nullptr || sibling == widget || !isFormWidget(sibling) || sibling->isHidden()) {
            continue;
        }
        QVERIFY2(!sibling->geometry().intersects(widget->geometry()), qPrintable(sibling->objectName()));
    }
    tabs->setCurrentIndex(0);
    window.hide();
}

// The widgets stand at fixed places: a larger window only shows more empty space, and the
// window stops growing at its maximum size.
void TestForm::enlargingMovesNothing() {
    MainWindow &window = rig_->window();
    window.show();
    QCoreApplication::processEvents();
    QHash<QString, QRect> places;
    for (const FormWidget &w : kWidgets) {
        places.insert(w.name, find<QWidget>(w.name)->geometry());
    }
    window.resize(1000, 1000);
    QCoreApplication::processEvents();
    QCOMPARE(window.size(), QSize(1000, 1000));
    for (const FormWidget &w : kWidgets) {
        QVERIFY2(find<QWidget>(w.name)->geometry() == places.value(w.name), w.name);
    }
    window.resize(1200, 1100);
    QCoreApplication::processEvents();
    QCOMPARE(window.size(), QSize(1000, 1000));
    window.resize(377, 768);
    window.hide();
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"

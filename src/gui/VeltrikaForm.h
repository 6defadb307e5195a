#pragma once
// The one window of the utility. Its slots read the widgets, call the box session and
// show the outcome; each is defined in the source file of its room (settings, EDID,
// packets, status, window).

#include "core/box/box_gate.h"
#include "core/box/box_session.h"
#include "core/box/frames.h"
#include "core/box/settings_table.h"
#include "core/box/status_record.h"
#include "core/box/typed_status.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class BoxJournalWindow;
class ChainDoctorWindow;
class EdidDetailsWindow;
class FileDialogs;
class SignalDetailsWindow;
class QMenu;
class SignalHistory;
class SignalHistoryWindow;
class QProgressBar;
class QTimer;
namespace chain {
struct Diagnosis;
}
namespace watch {
class Watcher;
struct WatchEvent;
} // namespace watch
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow, private BoxReporter {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The box this window drives, attached by its start-up.
    BoxSession &session() { return *session_; }
    // The gate every change of the window goes through, and its journal (none when no journal
    // folder was installed).
    BoxGate &gate() { return *gate_; }
    // The dialogs the EDID file slots ask for a file name; nullptr puts Qt's own back.
    void setFileDialogs(FileDialogs *dialogs);
    // Every event of the box since the start, as Signal History shows it.
    SignalHistory &signalHistory() { return *history_; }
    // One look for a box while none is open, as the 2 s look timer does it: when one is
    // found, the device part of the start-up runs.
    void lookForBox();

    // Register and status access. Each shows its own failure on the status bar and
    // returns true only when the device accepted the request.
    bool ReadRegisters(uint8_t address, proto::ReplyBuffer &reply, uint8_t count);
    bool WriteRegister(uint8_t address, uint8_t value);
    bool ReadStatus(proto::ReplyBuffer &reply, uint8_t count);
    bool WriteSettingsBlock(std::span<const uint8_t, proto::kSettingsBlockSize> settings);

public slots:
    void on_ProgressChange(int value, int total);

private slots:
    void SaveEDIDtoFile();
    void LoadEDIDfromFile();
    void FileExit();
    void FileAbout();
    void ReadEDID();
    void WriteEDID();
    void WriteCEC();
    void WriteIF();
    void CalculateChkSum();
    void SetActivePort();
    void SetAutoSwitch();
    void SetAudioSource();
    void SetHDCP_Version();
    void SetOut_420();
    void SetEDID_Mode();
    void SetEPState();
    void SaveCEC_1();
    void SaveCEC_2();
    void force2c();
    void force51();
    void forceHdr();
    void forceFullAudio();
    void setSwPriority();
    void changeCustomEdid();
    bool sendAVI();
    void CecLpRepurp();
    void hdrForceActivate();
    void hdrSamsung();
    void setLogoLed();
    void setBt2020();
    void setBlueLed();
    void factoryReset();
    void setYUV();
    void setCEC();
    void setCecLa();
    void setAVR();
    void readTvEdidA();
    void readTvEdidB();
    void set3D();
    void setEdidAlgo();
    void setAviPers();

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initDevice();
    // The start-up from the first read of an open box on: the same at start and when a box
    // is plugged in later.
    void startDevice();
    void startLooking();
    void addHistory(const std::vector<watch::WatchEvent> &events);
    void startStatusTimer(int intervalMs);
    void stopStatusTimer();
    void addComboBoxItems();
    void syncControls();
    void checkPendingEdidRefresh();
    void renderStatusTexts();
    void readDeviceEdid();
    // The View menu and its two Details windows, each made once and raised when asked again.
    void addViewMenu();
    void showEdidDetails();
    void showSignalDetails();
    void showSignalHistory();
    // View's Chain Doctor, and the fix it asks for, sent as every change (view_menu.cpp): the
    // box read, the differences and what the box would offer shown, Apply or Cancel.
    void showChainDoctor();
    bool applyChainFix(const chain::Diagnosis &diagnosis, size_t fix);
    void closeDetailsWindows();
    // The Edit menu: the last change to the box taken back, after a preview (edit_menu.cpp),
    // and View's Box Journal.
    void addEditMenu();
    void undoLastChange();
    void showBoxJournal();
    // Every change goes through the gate with the window's answer (Yes once a person has seen
    // the findings, and for the packets the window sends as typed). A journal that cannot be
    // written is said once, after the slot, and the change goes on.
    ChangeResult applyChange(const BoxChange &change, Answer answer, const RestoreProgress &progress = {});
    void warnAboutJournal(const QString &why);
    // The File menu's box configurations (configurations.cpp).
    void addConfigurationActions();
    void fillConfigurationsMenu();
    void saveBoxConfiguration();
    void saveCurrentConfigurationAs();
    bool saveConfigurationInto(const QString &fileName, const QString &shownName);
    void loadBoxConfiguration();
    void loadConfigurationFile(const QString &fileName, const QString &shownName);
    bool confirmRestore(const QString &shownName, const std::vector<RestoreStep> &steps,
                        const BoxConfiguration &wanted, const BoxConfiguration &box,
                        const QStringList &findings);
    // The preview of changes to the box, a line each: Apply or Cancel, Cancel the default.
    bool confirmChanges(const QString &title, const QString &text, const QStringList &lines);
    void showRestoreSummary(const QString &title, const QString &shownName, const RestoreReport &report,
                            int planned);
    void followRestore(const RestoreReport &report, const BoxConfiguration &wanted);
    void prepareTransferProgress();
    void makeTransferProgress();
    // True when all 256 bytes arrived and replaced the text.
    bool readEdidIntoText(EdidSource source);
    bool askAboutWrongChecksums(const QString &title, const QString &question);
    // Whether to write an EDID the gate found a source may not read (or the decoder fails);
    // true on Yes.
    bool askAboutUnreadableEdid(const QStringList &findings);
    // Parses EDIDtext into image and, when asked, the count of bytes the text holds; a text
    // that breaks the layout or holds no byte at all shows "Hex Format Error".
    bool parseEdidTextBox(std::span<uint8_t, proto::kEdidSize> image, qsizetype *groups = nullptr);
    void showStatus(const char *text, int ms);
    enum class SettingWrite { NothingToWrite, Refused, Accepted };
    // Writes the setting with the value its controls give (its register and its shadow
    // byte); NothingToWrite when the controls give no value.
    SettingWrite applySetting(Setting setting);
    // The value the setting's controls give, or none.
    std::optional<uint8_t> controlsValue(Setting setting) const;
    // The packet's bytes from the typed text; its length or format error on the status bar.
    std::optional<packets::PacketBytes> packetOf(const packets::PacketSend &send, const QString &text);
    bool sendHdrInfoframe();
    bool storeCec(uint8_t slotCode);
    void releaseForm();
    void leaveEventLoop();
    // The one way out, for the close, File > Exit and the destructor: the timer stops, the
    // form goes, the box is closed and the event loop asked to end.
    void teardown();

    // BoxReporter
    void statusMessage(const char *text, int ms) override;
    void transferProgress(int value, int total) override;
    void linkWarning(const char *text) override;
    void consoleNote(const char *text) override;
    void linkLost(LinkError error) override;

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<BoxSession> session_;
    std::unique_ptr<Journal> journal_;
    std::unique_ptr<BoxGate> gate_;
    bool journalWarned_ = false;
    FileDialogs *fileDialogs_;
    QProgressBar *progressBar = nullptr;
    int statusTimerId = 0;
    bool timerRunning = false;
    bool startupComplete = false;
    bool edidRefreshPending = true;
    // What the last read of the device's own EDID put into EDIDtext: the refresh after a
    // mode change replaces only that (or an empty box), never an EDID the user loaded,
    // typed or read from a TV.
    QString deviceEdidText;
    QPointer<EdidDetailsWindow> edidDetails_;
    QPointer<SignalDetailsWindow> signalDetails_;
    QPointer<BoxJournalWindow> boxJournal_;
    QPointer<ChainDoctorWindow> chainDoctor_;
    QMenu *configurationsMenu_ = nullptr;
    // The HDR capture block of the last status rendering, for Signal Details when it opens.
    proto::ReplyBuffer hdrCaptureBlock_{};
    // The box over time: the watcher's events from the window's own reads, into the history.
    std::unique_ptr<watch::Watcher> watcher_;
    SignalHistory *history_ = nullptr;
    QPointer<SignalHistoryWindow> signalHistory_;
    // Looks for the box every 2 s while none is open.
    QTimer *lookTimer_ = nullptr;
    bool comboItemsAdded_ = false;
    // The settings the last sync read (none when it failed): the typed status of the tick.
    std::optional<record::StatusRecord> tickSettings_;
    status::TypedStatus startupStatus_;
    // "VELTRIKA USB not connected!" stands once for all the failures of one action.
    bool notConnectedShown_ = false;
};

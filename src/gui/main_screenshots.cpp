// Pictures of the window for the README: the utility on the simulated box, as the demo
// starts it, one picture of each tab, then EDID Details (the Build page with the video of
// a TV with Dolby Vision and 4K120 on TOP with the audio formats and speakers of an AV
// receiver with Atmos on BOT, one picture per edit tab, then their merge fitted by leaving
// out what least matters), Signal Details, the preview of a box configuration loaded from
// File > Load Box Configuration, and the Chain Doctor with a fix previewed. The scale comes from
// QT_SCALE_FACTOR, the folder from the command line.

#include "VeltrikaForm.h"
#include "chain_doctor_window.h"
#include "core/base/saved_file.h"
#include "core/box/box_configuration_file.h"
#include "dialog_font.h"
#include "edid_builder.h"
#include "edid_details.h"
#include "file_dialogs.h"
#include "signal_details.h"
#include "signal_history.h"
#include "sim/simulated_box.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

int failures = 0;

// Saves the picture of the widget as NAME.png in the folder.
void picture(QWidget &widget, const QDir &folder, const char *name) {
    QCoreApplication::processEvents();
    const QString path = folder.filePath(QStringLiteral("%1.png").arg(QLatin1String(name)));
    if (widget.grab().save(path)) {
        std::printf("%s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
    }
}

template <typename T> T &child(QWidget &parent, const char *name) {
    T *found = parent.findChild<T *>(QLatin1String(name));
    if (found == nullptr) {
        std::fprintf(stderr, "no %s in the window\n", name);
        std::exit(1);
    }
    return *found;
}

// A captured EDID of the test corpus.
bool loadCorpusEdid(const char *name, EdidImage &image) {
    QFile file(QStringLiteral(VELTRIKA_SOURCE_DIR "/tests/data/edid/") + QLatin1String(name));
    image.fill(0);
    if (file.open(QIODevice::ReadOnly) &&
        file.read(reinterpret_cast<char *>(image.data()), qint64(image.size())) == qint64(image.size())) {
        return true;
    }
    std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
    return false;
}

void detailsPictures(MainWindow &window, const QDir &folder) {
    child<QAction>(window, "actionEdidDetails").trigger();
    auto &details = *window.findChild<EdidDetailsWindow *>();
    auto &tabs = child<QTabWidget>(details, "edidDetailsTabs");
    picture(details, folder, "edid-details");
    tabs.setCurrentIndex(1);
    child<QPushButton>(details, "readCompare").click();
    picture(details, folder, "edid-compare");
    tabs.setCurrentIndex(2);
    // The TV's blocks and the receiver's audio blocks do not fit one CTA block together: the
    // TV's EDID drops its 4096x2160 formats and takes the receiver's audio formats, which
    // bring the receiver's speakers with them.
    child<QComboBox>(details, "buildVideoFrom").setCurrentIndex(EdidBuilderPage::Top);
    child<QComboBox>(details, "buildAudioFrom").setCurrentIndex(0);
    child<QPushButton>(details, "buildLoad").click();
    auto &vics = child<QListWidget>(details, "buildVics");
    for (int row = vics.count() - 1; row >= 0; --row) {
        if (vics.item(row)->text().contains(QLatin1String("4096x2160"))) {
            vics.item(row)->setCheckState(Qt::Unchecked);
        }
    }
    child<QComboBox>(details, "buildTakeFrom").setCurrentIndex(EdidBuilderPage::Bot);
    child<QPushButton>(details, "buildTakeAudio").click();
    auto &edits = child<QTabWidget>(details, "buildEdits");
    const char *const names[] = {"edid-build", "edid-build-audio", "edid-build-speakers", "edid-build-hdr",
                                 "edid-build-hdmi"};
    for (int page = 0; page < edits.count() && page < int(std::size(names)); ++page) {
        edits.setCurrentIndex(page);
        picture(details, folder, names[page]);
    }
    // The merge of the two does not fit: what leaving out, least loss first, and the merge fitted.
    edits.setCurrentIndex(0);
    child<QComboBox>(details, "buildAudioFrom").setCurrentIndex(EdidBuilderPage::Bot + 1);
    child<QPushButton>(details, "buildLoad").click();
    child<QPushButton>(details, "buildFit").click();
    auto &fit = child<QDialog>(details, "buildFitDialog");
    picture(fit, folder, "edid-build-fit");
    child<QPushButton>(fit, "buildFitLeaveOut").click();
    picture(details, folder, "edid-build-fitted");
    details.close();
    // The lively source turns to HDR after 8 s: the next status tick captures its infoframe.
    QEventLoop ticks;
    QTimer::singleShot(9500, &ticks, &QEventLoop::quit);
    ticks.exec();
    child<QAction>(window, "actionSignalDetails").trigger();
    picture(*window.findChild<SignalDetailsWindow *>(), folder, "signal-details");
    // The history since the start: the box attached, then the source turning to 4K HDR10.
    child<QAction>(window, "actionSignalHistory").trigger();
    picture(*window.findChild<SignalHistoryWindow *>(), folder, "signal-history");
}

// View > Chain Doctor on the demo's chain, the fix of the receiver's audio previewed: the box's
// column beside what the fix would make it.
void chainDoctorPicture(MainWindow &window, const QDir &folder) {
    child<QAction>(window, "actionChainDoctor").trigger();
    auto &doctor = *window.findChild<ChainDoctorWindow *>();
    const auto &fixes = doctor.diagnosis().fixes;
    const auto audio = std::find_if(fixes.begin(), fixes.end(), [](const chain::ChainFix &fix) {
        return fix.key == QLatin1String("automix-algo=max-audio-min-video");
    });
    if (audio == fixes.end()) {
        std::fprintf(stderr, "the Chain Doctor proposes no Max Audio, Min Video\n");
        ++failures;
        return;
    }
    doctor.preview(static_cast<size_t>(audio - fixes.begin()));
    picture(doctor, folder, "chain-doctor");
    doctor.close();
}

// Answers File > Load Box Configuration with one file.
class OneFile : public FileDialogs {
public:
    explicit OneFile(QString file) : file_(std::move(file)) {}
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override {
        return file_;
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }

private:
    QString file_;
};

// The preview of "movie-night.json": the TV's EDID in custom mode, HDR forced, the input
// switched and both infoframes of its own. The preview is pictured, then cancelled.
void configurationPicture(MainWindow &window, const EdidImage &tvEdid, const QDir &folder) {
    BoxConfiguration movieNight;
    movieNight.firmware = QStringLiteral("1.8.3.0");
    movieNight.setSetting(Setting::ActiveInput, 2);
    movieNight.setSetting(Setting::ForceHdrActive, 1);
    movieNight.setSetting(Setting::AvrAudio, 1);
    movieNight.setSetting(Setting::EdidMode, record::kEdidModeCustom);
    movieNight.setSetting(Setting::CustomEdidPreset, 0);
    movieNight.customEdid = tvEdid;
    movieNight.hdrInfoframe = StoredHdrInfoframe{0x87, 0x01, 0x1A, 0x5C, 0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86,
                                                 0x4C, 0x1D, 0xB8, 0x0B, 0xD0, 0x84, 0x80, 0x3E, 0x13, 0x3D,
                                                 0x42, 0x40, 0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};
    movieNight.aviBytes = StoredAviBytes{0x60, 0xE8, 0x60, 97};
    const QTemporaryDir temporary;
    const QString file = temporary.filePath(QStringLiteral("movie-night.json"));
    QString error;
    if (!temporary.isValid() ||
        !saveConfigurationFile(file, movieNight, QDateTime::currentDateTimeUtc(), nullptr, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(file), qPrintable(error));
        ++failures;
        return;
    }
    OneFile dialogs(file);
    window.setFileDialogs(&dialogs);
    bool pictured = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *preview = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (preview == nullptr || preview->objectName() != QLatin1String("configurationPreview")) {
            return;
        }
        picture(*preview, folder, "configuration-preview");
        pictured = true;
        preview->button(QMessageBox::Cancel)->click();
    });
    poll.start(50);
    child<QAction>(window, "actionLoadBoxConfiguration").trigger();
    poll.stop();
    window.setFileDialogs(nullptr);
    if (!pictured) {
        std::fprintf(stderr, "the preview of the box configuration was not shown\n");
        ++failures;
    }
}

} // namespace

int main(int argc, char **argv) {
    Q_INIT_RESOURCE(resqrc);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QString why;
    if (!makeFolders(folder.path(), &why)) {
        std::fprintf(stderr, "cannot make the folder %s: %s\n", argv[1], qPrintable(why));
        return 1;
    }
    if (!installDialogFont()) {
        std::fprintf(
            stderr,
            "the dialog face is missing (fonts-wine): the pictures would not show the window's font\n");
        return 1;
    }
    SystemLinkClock clock;
    sim::SimulatedBox box(clock);
    box.setLively(true);
    box.setLogging(false);
    installPlatform(&box, &clock);

    const char *const names[] = {"edid-manager", "cec-commander", "hdr-if", "config"};
    {
        MainWindow window;
        window.show();
        QCoreApplication::processEvents();
        auto &tabs = child<QTabWidget>(window, "tabWidget");
        for (int page = 0; page < tabs.count() && page < int(std::size(names)); ++page) {
            tabs.setCurrentIndex(page);
            picture(window, folder, names[page]);
        }
        if (loadCorpusEdid("lg-oled-c9-hdmi.bin", box.topSinkEdid()) &&
            loadCorpusEdid("lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin", box.botSinkEdid())) {
            configurationPicture(window, box.topSinkEdid(), folder);
            chainDoctorPicture(window, folder);
            detailsPictures(window, folder);
        } else {
            ++failures;
        }
    }
    installPlatform(nullptr, nullptr);
    return failures == 0 ? 0 : 1;
}

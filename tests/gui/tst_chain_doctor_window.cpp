// View > Chain Doctor on the simulated box: opened, it reads (and writes nothing) and shows the
// demo chain's findings; a fix previewed shows what it sends and the box's column it would give;
// Apply asks first with Cancel the default (nothing sent), and on Apply the fix goes through the
// gate and the doctor reads the box again.

#include "chain_doctor_window.h"
#include "support/test_support.h"

#include <QAction>
#include <QTableWidget>
#include <QtTest>

namespace {

// Every request to the box since `from` but the fetches of its three EDIDs, which only read.
QList<QByteArray> writesSince(const sim::SimulatedBox &box, int from) {
    QList<QByteArray> writes;
    for (const QByteArray &request : requestsSince(box, from)) {
        const bool fetch = request.size() == 3 && uint8_t(request[2]) >= proto::kFetchOwnEdid &&
                           uint8_t(request[2]) <= proto::kFetchBotSinkEdid;
        if (uint8_t(request[0]) != proto::kFromDevice && !fetch) {
            writes << request;
        }
    }
    return writes;
}

} // namespace

class TestChainDoctorWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { rig_.reset(); }
    void opensReading();
    void previewThenCancel();
    void applyThroughTheGate();

private:
    ChainDoctorWindow &doctor() { return *rig_->window().findChild<ChainDoctorWindow *>(); }
    std::unique_ptr<Rig> rig_;
};

void TestChainDoctorWindow::init() {
    rig_ = std::make_unique<Rig>();
    rig_->start();
    holdStatusTimer(rig_->window());
    rig_->boxWatcher.clear();
}

void TestChainDoctorWindow::opensReading() {
    const int before = int(rig_->box.frames().size());
    rig_->window().findChild<QAction *>(QStringLiteral("actionChainDoctor"))->trigger();
    QCOMPARE(doctor().stateText(), "10 findings; the cells' tool tips say where each value was read.");
    QCOMPARE(writesSince(rig_->box, before), QList<QByteArray>());
    auto *matrix = doctor().findChild<QTableWidget *>(QStringLiteral("chainMatrix"));
    QCOMPARE(matrix->horizontalHeaderItem(ChainDoctorWindow::Bot)->text(), "BOT\nDENON-AVR");
    const int dtsX = static_cast<int>(chain::Capability::DtsX);
    QCOMPARE(matrix->item(dtsX, ChainDoctorWindow::Box)->text(), "no");
    QCOMPARE(matrix->item(dtsX, ChainDoctorWindow::Bot)->toolTip(),
             "8 channels\nBOT EDID, block 1, byte 45: Audio Data Block, DTS-HD");
    QVERIFY(doctor().findingsText().startsWith("10 findings:\n1. 4K120: TOP (LG TV) states it (VIC 118)"));
    QVERIFY(matrix->isColumnHidden(ChainDoctorWindow::WithFix));
}

void TestChainDoctorWindow::previewThenCancel() {
    rig_->window().findChild<QAction *>(QStringLiteral("actionChainDoctor"))->trigger();
    doctor().preview(2);
    QCOMPARE(doctor().previewText(),
             "Fix 3: automix algorithm Max Audio, Min Video\nIt sends:\n  automix-algo: min-mixed -> "
             "max-audio-min-video\nThe box would offer (expected of the algorithm's name; a box's firmware "
             "may mix "
             "otherwise):\n  LPCM 5.1: no -> yes\n  LPCM 7.1: no -> yes\n  DTS:X: no -> yes\n  Speaker "
             "allocation: "
             "none -> FL/FR, LFE1, FC, BL/BR, BC, RLC/RRC\nIn all: brings LPCM 5.1, LPCM 7.1, DTS:X, Speaker "
             "allocation; loses nothing the box offers now; TOP (LG TV) does not state: LPCM 5.1, LPCM 7.1, "
             "DTS:X, "
             "Speaker allocation.");
    auto *matrix = doctor().findChild<QTableWidget *>(QStringLiteral("chainMatrix"));
    QVERIFY(!matrix->isColumnHidden(ChainDoctorWindow::WithFix));
    QCOMPARE(matrix->item(static_cast<int>(chain::Capability::DtsX), ChainDoctorWindow::WithFix)->text(),
             "yes");

    const int before = int(rig_->box.frames().size());
    doctor().apply(2); // answered with the escape button: Cancel
    QCOMPARE(rig_->boxWatcher.boxes().size(), 1);
    const ShownBox &asked = rig_->boxWatcher.boxes()[0];
    QCOMPARE(asked.title, "Chain Doctor");
    QCOMPARE(asked.text, "Apply fix 3, automix algorithm Max Audio, Min Video?");
    QCOMPARE(asked.defaultButton, QMessageBox::Cancel);
    QCOMPARE(
        asked.informativeText,
        "Automix algo: min-mixed -> max-audio-min-video\n\nThe box would then offer (expected of the "
        "algorithm's "
        "name; a box's firmware may mix otherwise):\nLPCM 5.1: no -> yes\nLPCM 7.1: no -> yes\nDTS:X: no -> "
        "yes\nSpeaker allocation: none -> FL/FR, LFE1, FC, BL/BR, BC, RLC/RRC");
    QCOMPARE(writesSince(rig_->box, before), QList<QByteArray>());
    QCOMPARE(rig_->box.statusRecord()[record::kAutomixAlgorithm], uint8_t(0));
}

void TestChainDoctorWindow::applyThroughTheGate() {
    rig_->window().findChild<QAction *>(QStringLiteral("actionChainDoctor"))->trigger();
    const int before = int(rig_->box.frames().size());
    rig_->boxWatcher.queueAnswer(QMessageBox::Apply);
    doctor().apply(2);
    QCOMPARE(writesSince(rig_->box, before), QList<QByteArray>{bytes({0x10, 0x04, 0xE0, 0x20, 0x01})});
    QCOMPARE(rig_->boxWatcher.texts().value(1), "Applied 1 of 1 changes from fix 3; the box holds them.");
    QCOMPARE(doctor().stateText(), "6 findings; the cells' tool tips say where each value was read.");
}

QTEST_MAIN(TestChainDoctorWindow)
#include "tst_chain_doctor_window.moc"

#pragma once
// The files the command line's tests read (a good EDID in each form, broken ones, a picture),
// in one temporary folder, and the faults the simulated box is set up with.

#include "cli_rig.h"
#include "core/edid/edid_formats.h"
#include "core/edid/spaced_hex.h"
#include "sim/sim_edid.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace clitest {

enum class Setup {
    None,
    NoDevice,
    OpenFails,
    RefuseRegisterAccess, // every register read and write
    RefuseRegisterWrite,  // the input register only
    RefuseCec,
    RefuseHdr,
    RefuseAvi,
    SilentStatus,
    RefuseFetch,
    CustomMode,
    CustomPreset,
    RefuseWindowWrite,
    OneWindowWriteRefused,
    VanishAfterTwoFrames,
    SilentBox,
};

inline void prepare(CliRig &rig, Setup setup) {
    sim::SimulatedBox &box = rig.box;
    switch (setup) {
    case Setup::None:
        break;
    case Setup::NoDevice:
        box.setAttachedDevices({});
        break;
    case Setup::OpenFails:
        box.setOpenFails(true);
        break;
    case Setup::RefuseRegisterAccess:
        box.injectFault(sim::Fault::Refuse, proto::kRegisterAccess);
        break;
    case Setup::RefuseRegisterWrite:
        box.injectFaultForRegister(sim::Fault::Refuse, record::kRegActiveInput);
        break;
    case Setup::RefuseCec:
        box.injectFault(sim::Fault::Refuse, proto::kCecMessage);
        break;
    case Setup::RefuseHdr:
        box.injectFault(sim::Fault::Refuse, proto::kHdrInfoframe);
        break;
    case Setup::RefuseAvi:
        box.injectFault(sim::Fault::Refuse, proto::kAviInfoframe);
        break;
    case Setup::SilentStatus:
        box.injectFault(sim::Fault::Silent, proto::kStatusRead);
        break;
    case Setup::RefuseFetch:
        box.injectFault(sim::Fault::Refuse, proto::kFetchOwnEdid);
        break;
    case Setup::CustomMode:
        box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
        break;
    case Setup::CustomPreset:
        box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
        box.statusRecord()[record::kCustomEdidPreset] = 3;
        break;
    case Setup::RefuseWindowWrite:
        box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
        box.injectFault(sim::Fault::Refuse, proto::kEdidWindow);
        break;
    case Setup::OneWindowWriteRefused: // the mode check, five windows, then the sixth
        box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
        box.injectFaultForNext(sim::Fault::Refuse, 1, 2 + 5);
        break;
    case Setup::VanishAfterTwoFrames:
        box.injectFaultForNext(sim::Fault::WriteFail, 1000, 2);
        break;
    case Setup::SilentBox:
        box.statusRecord()[record::kEdidMode] = record::kEdidModeCustom;
        box.injectFaultForNext(sim::Fault::Silent, 1000);
        break;
    }
}

inline QString groups(int count) {
    QStringList list;
    for (int i = 0; i < count; ++i) {
        list << QStringLiteral("%1").arg(i % 256, 2, 16, QLatin1Char('0'));
    }
    return list.join(QLatin1Char(':'));
}

inline QByteArray bytesOf(const EdidImage &image) {
    return {reinterpret_cast<const char *>(image.data()), static_cast<qsizetype>(image.size())};
}

inline EdidImage imageOf(const QByteArray &bytes) {
    EdidImage image{};
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), image.size()), image.begin());
    return image;
}

inline void writeFile(const QString &name, const QByteArray &bytes) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString &name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A test class's folder of files: `@` in a command line names the folder.
class CliFiles {
protected:
    void makeFiles() {
        QVERIFY(dir_.isValid());
        writeFile(path("good.bin"), bytesOf(good_));
        writeFile(path("good.txt"), formatEdidText(good_).toLatin1());
        EdidImage bad = good_;
        bad[kEdidChecksum1] ^= 0x5A;
        writeFile(path("bad.bin"), bytesOf(bad));
        writeFile(path("empty.bin"), {});
        writeFile(path("junk.txt"), "zz,zz\n");
        writeFile(path("gg.txt"), "00 FF GG 00\n");
        writeFile(path("junk.bin"), QByteArray(128, '\0'));
        writeFile(path("short.txt"), "00 FF FF FF FF FF FF 00\n");
        writeFile(path("three.bin"), threeBlocks());
        writeFile(path("red.png"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
        QByteArray xrandr = "HDMI-1 connected\n\tEDID:\n";
        for (int row = 0; row < 8; ++row) {
            xrandr += "\t\t" + QByteArray(row == 2 ? 31 : 32, 'a') + '\n';
        }
        writeFile(path("broken-xrandr.txt"), xrandr);
    }

    QStringList arguments(const QString &line) const {
        QString expanded = line;
        expanded.replace(QLatin1Char('@'), dir_.path());
        return expanded.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    QString path(const char *name) const { return dir_.filePath(QLatin1String(name)); }

    // The good EDID stating a third block, which follows it.
    QByteArray threeBlocks() const {
        EdidImage stated = good_;
        stated[126] = 2;
        stated[kEdidChecksum0] = edidBlockChecksum(std::span<const uint8_t, 128>(stated.data(), 128));
        QByteArray bytes = bytesOf(stated);
        return bytes + bytes.mid(128);
    }

    QTemporaryDir dir_;
    EdidImage good_ = sim::buildEdid("FILE TV", 0x0101);
};

} // namespace clitest

Q_DECLARE_METATYPE(clitest::Setup)

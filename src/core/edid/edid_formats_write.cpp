// The forms `veltrika edid read -o FILE --format` writes: the raw bytes, the window's hex
// text, edid-decode's C array and a Windows monitor .inf.

#include "core/edid/edid_formats.h"

#include "core/base/hex_digits.h"
#include "core/edid/edid_formats_parts.h"
#include "core/edid/spaced_hex.h"

using edid::formats::kBlock;
using edid::formats::kBytesPerRow;

std::optional<EdidWriteFormat> edidWriteFormatNamed(QStringView name) {
    if (name == u"raw") {
        return EdidWriteFormat::Raw;
    }
    if (name == u"hex") {
        return EdidWriteFormat::Hex;
    }
    if (name == u"carray") {
        return EdidWriteFormat::CArray;
    }
    if (name == u"inf") {
        return EdidWriteFormat::Inf;
    }
    return std::nullopt;
}

namespace {

QByteArray spacedHex(std::span<const uint8_t> edid) {
    QByteArray text;
    for (size_t i = 0; i < edid.size(); ++i) {
        text += edidByteText(edid[i]).toLatin1();
        text += edidByteEndsLine(static_cast<int>(i)) ? '\n' : ' ';
    }
    if (!text.isEmpty() && !text.endsWith('\n')) {
        text.back() = '\n';
    }
    return text;
}

// As edid-decode writes it with -o carray: eight bytes a line after a tab, a blank line
// between blocks.
QByteArray cArray(std::span<const uint8_t> edid) {
    constexpr size_t kPerLine = 8;
    QByteArray text = "const unsigned char edid[] = {\n";
    for (size_t i = 0; i < edid.size(); ++i) {
        const char digits[] = {'0', 'x', hexdigits::kLower[edid[i] >> 4], hexdigits::kLower[edid[i] & 0x0F],
                               ','};
        text += i % kPerLine == 0 ? "\t" : " ";
        text += QByteArrayView(digits, sizeof digits);
        if (i % kPerLine == kPerLine - 1 || i + 1 == edid.size()) {
            text += '\n';
        }
        // A blank line between blocks.
        if (i % kBlock == kBlock - 1 && i + 1 < edid.size()) {
            text += '\n';
        }
    }
    return text + "};\n";
}

// The monitor's name from its name descriptor, fit for an .inf's strings; "Monitor" without one.
QByteArray monitorName(std::span<const uint8_t> edid) {
    constexpr size_t kFirstDescriptor = 54;
    constexpr size_t kDescriptorSize = 18;
    constexpr size_t kDescriptors = 4;
    constexpr uint8_t kNameTag = 0xFC;
    constexpr size_t kTextStart = 5;
    QByteArray name;
    for (size_t d = 0; d < kDescriptors && name.isEmpty(); ++d) {
        const size_t at = kFirstDescriptor + d * kDescriptorSize;
        if (at + kDescriptorSize > edid.size() || edid[at] != 0 || edid[at + 1] != 0 ||
            edid[at + 3] != kNameTag) {
            continue;
        }
        for (size_t i = at + kTextStart; i < at + kDescriptorSize && edid[i] != '\n'; ++i) {
            const char c = static_cast<char>(edid[i]);
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                               c == ' ' || c == '-' || c == '.' || c == '_' || c == '+';
            name += plain ? c : '_';
        }
        name = name.trimmed();
    }
    return name.isEmpty() ? QByteArray("Monitor") : name;
}

// Windows' hardware ID of the monitor: MONITOR\ and its manufacturer and product code (GSMC0A0).
QByteArray hardwareId(std::span<const uint8_t> edid) {
    constexpr size_t kManufacturer = 8;
    constexpr size_t kProduct = 10;
    constexpr int kLetterBits = 5;
    constexpr unsigned kLetterMask = 0x1F;
    QByteArray id = "MONITOR\\";
    if (edid.size() < kProduct + 2) {
        return id + "Default_Monitor";
    }
    const unsigned packed = static_cast<unsigned>(edid[kManufacturer]) << 8 | edid[kManufacturer + 1];
    for (const int shift : {2 * kLetterBits, kLetterBits, 0}) {
        const unsigned letter = packed >> shift & kLetterMask;
        id += (letter >= 1 && letter <= 26) ? static_cast<char>('A' + letter - 1) : 'X';
    }
    const unsigned product = static_cast<unsigned>(edid[kProduct + 1]) << 8 | edid[kProduct];
    return id + QByteArray::number(product, 16).toUpper().rightJustified(4, '0');
}

// A monitor .inf that gives Windows this EDID instead of the monitor's: Device Manager, the
// monitor, Update driver, Browse, Let me pick, Have Disk. One value of 128 bytes per block.
QByteArray windowsInf(std::span<const uint8_t> edid) {
    const QByteArray id = hardwareId(edid);
    const QByteArray name = monitorName(edid);
    QByteArray text;
    const auto line = [&text](const QByteArray &content) { text += content + "\r\n"; };
    line("; An EDID override for " + name + " (" + id + "), written by veltrika.");
    line("; Install: Device Manager, the monitor, Update driver, Browse my computer, Let me pick,");
    line("; Have Disk, this file. Windows then reads the EDID below instead of the monitor's.");
    line("");
    line("[Version]");
    line("Signature=\"$WINDOWS NT$\"");
    line("Class=Monitor");
    line("ClassGUID={4d36e96e-e325-11ce-bfc1-08002be10318}");
    line("Provider=%Provider%");
    line("DriverVer=01/01/2025,1.0.0.0");
    line("");
    line("[Manufacturer]");
    line("%Provider%=Monitors,NTx86,NTamd64,NTarm64");
    for (const char *platform : {"NTx86", "NTamd64", "NTarm64"}) {
        line("");
        line(QByteArray("[Monitors.") + platform + "]");
        line("%Monitor%=Install," + id);
    }
    line("");
    line("[Install]");
    line("");
    line("[Install.HW]");
    line("AddReg=EdidOverride");
    line("");
    line("[EdidOverride]");
    for (size_t block = 0; block * kBlock < edid.size(); ++block) {
        QByteArray row =
            "HKR,EDID_OVERRIDE,\"" + QByteArray::number(static_cast<qulonglong>(block)) + "\",0x01,";
        for (size_t i = 0; i < static_cast<size_t>(kBlock); ++i) {
            const uint8_t byte = edid[block * kBlock + i];
            const char digits[] = {'0', 'x', hexdigits::kUpper[byte >> 4], hexdigits::kUpper[byte & 0x0F]};
            row += QByteArrayView(digits, sizeof digits);
            if (i + 1 == static_cast<size_t>(kBlock)) {
                line(row);
            } else if (i % kBytesPerRow == kBytesPerRow - 1) {
                line(row + ",\\");
                row = "    ";
            } else {
                row += ',';
            }
        }
    }
    line("");
    line("[Strings]");
    line("Provider=\"VELTRIKA Utility\"");
    line("Monitor=\"" + name + " (EDID override)\"");
    return text;
}

} // namespace

QByteArray writeEdidFileContent(std::span<const uint8_t> edid, EdidWriteFormat format) {
    switch (format) {
    case EdidWriteFormat::Raw:
        break;
    case EdidWriteFormat::Hex:
        return spacedHex(edid);
    case EdidWriteFormat::CArray:
        return cArray(edid);
    case EdidWriteFormat::Inf:
        return windowsInf(edid);
    }
    return {reinterpret_cast<const char *>(edid.data()), static_cast<qsizetype>(edid.size())};
}

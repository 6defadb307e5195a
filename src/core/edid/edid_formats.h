#pragma once
// EDID files as other tools save them, read by one reader and written in the forms people
// carry back into those tools.
//
// The reader tells the form by the content, never by the file name, in this order:
//  1. raw bytes (a first byte of zero, whatever follows, as the loader has always taken
//     them) and this program's own spaced hex text (the first 1024 bytes, line ends
//     converted, parse as spaced hex);
//  2. edid-decode's hex dump ("edid-decode (hex):" or "EDID (hex):"), its C array
//     (`unsigned char edid[] = {0x00, ...}`) and its QuantumData XML (<BLOCK0>...);
//  3. `xrandr --verbose`: the lines indented below "EDID:" or "EDID_DATA:", 32 hex digits each;
//  4. Xorg.0.log (the lines after "EDID (in hex):") and NVIDIA's X log (after "Raw EDID
//     bytes:", 16 bytes a line);
//  5. tables: rows "00 | 00 FF FF ..." (after "EDID BYTES:", or with a one-digit label
//     repeated per block) and dumps of 8 bytes, a dash and 8 bytes before an ASCII column;
//  6. Windows: a monitor .inf (HKR,EDID_OVERRIDE,"0",0x01,... one value per block, or the
//     ";00 FF FF ..." comment block above it) and a .reg export ("EDID"=hex:00,ff,...);
//  7. bare hex in any spelling (spaces, commas, colons, 0x, line breaks, any case) and
//     base64 of a raw EDID.
// Every form but the first two yields whole blocks of 128 bytes or a reason with its place
// ("xrandr --verbose output, line 12: 31 hex digits, 32 expected"). A text of hex digits and
// blanks that is none of them stays the window's text, as the loader has always shown it.
// Where a text holds several EDIDs (an xrandr dump of two outputs) the first is read.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <span>

// As much of a file as is read: an Xorg log is rarely larger, and its EDIDs stand near its start.
constexpr qsizetype kEdidFileMaxBytes = 8 * 1024 * 1024;

enum class EdidFileFormat : uint8_t {
    Raw,
    SpacedHex, // this program's own text, also one that breaks its layout
    EdidDecodeHex,
    CArray,
    QuantumDataXml,
    XrandrVerbose,
    XorgLog,
    NvidiaLog,
    Table,
    AsciiDump,
    WindowsInf,
    WindowsReg,
    BareHex,
    Base64,
};

// As a sentence names it: "xrandr --verbose output".
QString edidFileFormatName(EdidFileFormat format);

struct EdidFileContent {
    // The form the content was read as; none when it is empty, not text, or no form at all.
    std::optional<EdidFileFormat> format;
    // The EDID: raw, every byte given; spaced hex, the bytes of its groups (at most 256);
    // every other form, whole blocks of 128 bytes.
    QByteArray bytes;
    // Spaced hex: the window's text, the first 1024 bytes with their line ends converted.
    QByteArray text;
    // Empty when the bytes were read; else why not, with the place where a form breaks.
    QString reason;
    // Neither an EDID nor text (a picture, say): no form could hold it.
    bool notText = false;
    bool ok() const { return reason.isEmpty(); }
    // Read from a form whose bytes are checked as a whole EDID (neither raw nor spaced hex).
    bool fromOtherTool() const;
};

// Reads the content of a file (at most kEdidFileMaxBytes are looked at). Texts may be
// UTF-8 (with or without its byte order mark) or UTF-16 with its byte order mark.
EdidFileContent readEdidFileContent(std::span<const uint8_t> content);
EdidFileContent readEdidFileContent(QByteArrayView content);

// The forms `veltrika edid read -o FILE --format` writes.
enum class EdidWriteFormat : uint8_t {
    Raw,    // the bytes
    Hex,    // the spaced hex text of the window (16 bytes a line, upper case)
    CArray, // as `edid-decode -o carray` writes it
    Inf,    // a Windows monitor .inf that overrides the monitor's EDID, one value per block
};

// "raw", "hex", "carray" or "inf"; none for any other name.
std::optional<EdidWriteFormat> edidWriteFormatNamed(QStringView name);

// The file of the EDID (whole blocks of 128 bytes) in the form. Every form reads back to the
// same bytes.
QByteArray writeEdidFileContent(std::span<const uint8_t> edid, EdidWriteFormat format);

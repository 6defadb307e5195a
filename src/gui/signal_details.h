#pragma once
// Signal Details: the HDR infoframe the box captures from its input, decoded at every
// status tick, and the custom HDR and AVI infoframes and the CEC command decoded as they
// are typed, from the bytes their senders would send.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <span>

class QPlainTextEdit;
class QTextEdit;

class SignalDetailsWindow : public QWidget {
    Q_OBJECT

public:
    // The four sections, in the order they are shown and copied.
    enum Section { Captured, CustomHdr, CustomAvi, Cec, kSectionCount };
    static const std::array<const char *, kSectionCount> kSectionTitles;

    SignalDetailsWindow(QTextEdit &hdrText, QTextEdit &aviText, QTextEdit &cecText, QWidget *parent);

    // The captured infoframe's payload of a status tick; empty when none was captured.
    void showCapture(std::span<const uint8_t> payload);
    // The text "Copy as text" puts on the clipboard: every section under its title.
    QString text() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showTyped(Section section);
    void showSection(Section section, const QStringList &lines);

    std::array<QPointer<QTextEdit>, kSectionCount> sources_{};
    std::array<QPlainTextEdit *, kSectionCount> views_{};
    std::array<QString, kSectionCount> shown_{};
    std::array<uint8_t, 32> capture_{};
    size_t captureLength_ = 0;
};

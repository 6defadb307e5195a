#pragma once
// The transfer progress bar. A transfer never returns to the event loop, so every step
// that moves the bar by a pixel is painted at once; the style's empty and full bar are
// drawn once per size and each step puts the two together, instead of the style drawing
// the whole bar again.

#include <QPixmap>
#include <QProgressBar>

class TransferProgressBar : public QProgressBar {
public:
    explicit TransferProgressBar(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPixmap renderedAt(int progress) const;

    QPixmap empty_;
    QPixmap full_;
};

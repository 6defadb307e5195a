#include "transfer_progress.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

TransferProgressBar::TransferProgressBar(QWidget *parent) : QProgressBar(parent) {}

QPixmap TransferProgressBar::renderedAt(int progress) const {
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.progress = progress;
    style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
    return pixmap;
}

void TransferProgressBar::paintEvent(QPaintEvent * /*event*/) {
    if (full_.deviceIndependentSize().toSize() != size() || full_.devicePixelRatio() != devicePixelRatioF()) {
        empty_ = renderedAt(minimum());
        full_ = renderedAt(maximum());
    }
    const int span = maximum() - minimum();
    const int filled =
        span > 0 ? static_cast<int>(static_cast<qint64>(value() - minimum()) * width() / span) : 0;
    const qreal ratio = devicePixelRatioF();
    QPainter painter(this);
    painter.drawPixmap(QRectF(0, 0, filled, height()), full_, QRectF(0, 0, filled * ratio, height() * ratio));
    painter.drawPixmap(QRectF(filled, 0, width() - filled, height()), empty_,
                       QRectF(filled * ratio, 0, (width() - filled) * ratio, height() * ratio));
}

// A new style or palette draws other ends.
void TransferProgressBar::changeEvent(QEvent *event) {
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange) {
        full_ = QPixmap();
    }
    QProgressBar::changeEvent(event);
}

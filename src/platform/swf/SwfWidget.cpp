#include "platform/swf/SwfWidget.h"

#include "platform/swf/SwfPlayer.h"

#include <QPainter>
#include <QResizeEvent>

namespace omm::swf {

SwfWidget::SwfWidget(QWidget* parent, SwfPlayer* player)
    : QWidget(parent), player_(player ? player : new SwfPlayer(this)),
      ownsPlayer_(player == nullptr) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(player_, &SwfPlayer::frameChanged, this, qOverload<>(&QWidget::update));
    connect(player_, &SwfPlayer::movieLoaded, this, [this] {
        player_->SetViewSize(size());
        update();
    });
    player_->SetViewSize(size());
}

SwfWidget::~SwfWidget() = default;

QSize SwfWidget::sizeHint() const {
    QSize stage = player_->StageSize();
    return stage.isEmpty() ? QSize(550, 400) : stage;
}

void SwfWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (player_->ReadyState() != 4) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    player_->Paint(painter, QPoint(0, 0));
}

void SwfWidget::resizeEvent(QResizeEvent* event) {
    player_->SetViewSize(event->size());
    QWidget::resizeEvent(event);
}

} // namespace omm::swf

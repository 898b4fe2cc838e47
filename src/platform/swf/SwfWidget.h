#pragma once
// A widget that shows a SwfPlayer: it owns no movie state of its own, keeps the
// player's view size equal to its own size and repaints on every frame.

#include <QWidget>

namespace omm::swf {

class SwfPlayer;

class SwfWidget : public QWidget {
    Q_OBJECT
public:
    // Uses the given player, or makes its own when player is null.
    explicit SwfWidget(QWidget* parent = nullptr, SwfPlayer* player = nullptr);
    ~SwfWidget() override;

    SwfPlayer& Player() { return *player_; }
    const SwfPlayer& Player() const { return *player_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    SwfPlayer* player_;
    bool ownsPlayer_;
};

} // namespace omm::swf

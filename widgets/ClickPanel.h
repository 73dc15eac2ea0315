#pragma once

#include <QLabel>

// A panel with a centred caption, a single border and a colour of its own; clicking it
// raises clicked().
class TClickPanel : public QLabel
{
    Q_OBJECT

public:
    explicit TClickPanel(const QString& caption, QWidget* parent = nullptr);

    void SetColor(const QColor& color);
    QColor Color() const;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

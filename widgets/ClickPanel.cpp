#include "widgets/ClickPanel.h"

#include <QMouseEvent>

TClickPanel::TClickPanel(const QString& caption, QWidget* parent)
    : QLabel(caption, parent)
{
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setMargin(1);
    setAutoFillBackground(true);
}

void TClickPanel::SetColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}

QColor TClickPanel::Color() const
{
    return palette().color(QPalette::Window);
}

void TClickPanel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

#include "widgets/Anchors.h"

#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace {

class TAnchorFilter : public QObject
{
public:
    explicit TAnchorFilter(QWidget* parent)
        : QObject(parent)
    {
        setObjectName(Name());
        parent->installEventFilter(this);
    }

    static QString Name() { return QStringLiteral("erechnung-anchors"); }

    void Add(QWidget* widget, bool stretch)
    {
        auto* parent = widget->parentWidget();
        FItems.append({widget, stretch, parent->width() - widget->geometry().right()});
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            const int width = static_cast<QWidget*>(watched)->width();
            for (const TItem& item : std::as_const(FItems)) {
                if (!item.Widget)
                    continue;
                QRect r = item.Widget->geometry();
                const int right = width - item.RightDistance;
                if (item.Stretch)
                    r.setRight(qMax(r.left() + 10, right));
                else
                    r.moveRight(right);
                item.Widget->setGeometry(r);
            }
        }
        return false;
    }

private:
    struct TItem
    {
        QPointer<QWidget> Widget;
        bool Stretch;
        int RightDistance;
    };
    QList<TItem> FItems;
};

TAnchorFilter* FilterOf(QWidget* parent)
{
    // The class has no meta-object of its own: found by its name, which only it carries.
    QObject* filter = parent->findChild<QObject*>(TAnchorFilter::Name(), Qt::FindDirectChildrenOnly);
    return filter ? static_cast<TAnchorFilter*>(filter) : new TAnchorFilter(parent);
}

} // namespace

void AnchorRight(QWidget* widget)
{
    FilterOf(widget->parentWidget())->Add(widget, false);
}

void StretchWidth(QWidget* widget)
{
    FilterOf(widget->parentWidget())->Add(widget, true);
}

#include "controls/focus_frame.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionFocusRect>

namespace fm {

namespace {

class FocusFrameStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_FrameFocusRect) {
            const auto* focus = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
            const QColor below =
                focus && focus->backgroundColor.isValid()
                    ? focus->backgroundColor
                    : option->palette.color(option->state & State_Selected ? QPalette::Highlight
                                                                           : QPalette::Window);
            painter->save();
            painter->setPen(QPen(qGray(below.rgb()) < 128 ? Qt::white : Qt::black, 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
            painter->restore();
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element == PE_Frame && (option->state & State_HasFocus) &&
            qobject_cast<const QAbstractItemView*>(widget)) {
            painter->save();
            painter->setPen(option->palette.color(QPalette::Highlight));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }
};

} // namespace

void ShowFocusFrame(QWidget& widget) {
    // One style for every such widget, over the application's own, gone with the application.
    static QPointer<QStyle> style;
    if (!style) {
        style = new FocusFrameStyle(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(qApp);
    }
    widget.setStyle(style);
}

} // namespace fm

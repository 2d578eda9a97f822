#include "platform/window.h"

#include "platform/controls.h"
#include "platform/cp1252.h"
#include "platform/error_report.h"

#include <QApplication>
#include <QCloseEvent>

namespace fb {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window), client_(new QWidget(this)) {
    setFont(uiFont());
    client_->setAutoFillBackground(false);
}

void Form::setCaption(const std::string& text) { setWindowTitle(fromCp1252(text)); }
std::string Form::caption() const { return toCp1252(windowTitle()); }

QSize Form::frameExtra() const {
    if (!isVisible())
        return {0, 0};
    return frameGeometry().size() - size();
}

void Form::setOuterBounds(int left, int top, int width, int height) {
    move(left, top);
    setOuterSize(width, height);
}

void Form::setOuterSize(int width, int height) {
    wantedOuter_ = QSize(width, height);
    QSize client = QSize(width, height) - frameExtra();
    resize(client.expandedTo(QSize(1, 1)));
}

void Form::setMinOuterSize(int width, int height) {
    minOuter_ = QSize(width, height);
    setMinimumSize((minOuter_ - frameExtra()).expandedTo(QSize(1, 1)));
}

void Form::setClientSize(int width, int height) {
    int menuH = menu_ ? menu_->sizeHint().height() : 0;
    resize(width, height + menuH);
}

int Form::outerWidth() const { return width() + frameExtra().width(); }
int Form::outerHeight() const { return height() + frameExtra().height(); }

void Form::setBorderStyle(BorderStyle style) {
    border_ = style;
    Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    switch (style) {
    case BorderStyle::Sizeable:
        f |= Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
        break;
    case BorderStyle::SizeableCloseOnly:
        f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        break;
    case BorderStyle::SizeableNoSystemMenu:
        break;
    case BorderStyle::Dialog:
        f = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        break;
    }
    const bool visible = isVisible();
    setWindowFlags(f);
    if (style == BorderStyle::Dialog)
        setFixedSize(size());
    if (visible)
        show();
}

void Form::setColor(QColor color) { setBackgroundColor(*this, color); }

QMenuBar* Form::menuBar() {
    if (!menu_) {
        menu_ = new QMenuBar(this);
        menu_->setNativeMenuBar(false);
        // The menu bar keeps the system's colours whatever the window's are.
        const QPalette system = QApplication::palette(menu_);
        QPalette p;
        for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Button, QPalette::ButtonText,
                          QPalette::Base, QPalette::Text, QPalette::Highlight, QPalette::HighlightedText})
            p.setColor(role, system.color(role));
        menu_->setPalette(p);
        menu_->setAutoFillBackground(true);
        layoutChildren();
    }
    return menu_;
}

void Form::closeEvent(QCloseEvent* e) {
    if (border_ == BorderStyle::SizeableNoSystemMenu || border_ == BorderStyle::Dialog) {
        e->ignore(); // these windows are left through their own buttons only
        return;
    }
    QWidget::closeEvent(e);
}

void Form::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Once the frame is known, keep the outer size the layout asked for.
    if (wantedOuter_.isValid() && frameExtra() != QSize(0, 0)) {
        QSize wanted = wantedOuter_;
        wantedOuter_ = QSize();
        resize(wanted - frameExtra());
        if (minOuter_.isValid())
            setMinimumSize(minOuter_ - frameExtra());
    }
    guarded([this] { formShow(); });
}

void Form::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutChildren();
    guarded([this] { formResize(); });
}

void Form::layoutChildren() {
    int top = 0;
    if (menu_) {
        top = menu_->sizeHint().height();
        menu_->setGeometry(0, 0, width(), top);
    }
    client_->setGeometry(0, top, width(), std::max(0, height() - top));
}

} // namespace fb

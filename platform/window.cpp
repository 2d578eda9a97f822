#include "platform/window.h"

#include "platform/controls.h"
#include "platform/cp1252.h"
#include "platform/error_report.h"

#include "platform/x11_hints.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace fb {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window), client_(new QWidget(this)) {
    setFont(uiFont());
    client_->setAutoFillBackground(false);
    framePoll_.setInterval(20);
    connect(&framePoll_, &QTimer::timeout, this, [this] {
        // A manager that never frames the window (or none at all) is given up on.
        if (updateFrame() || ++framePolls_ >= 150)
            framePoll_.stop();
    });
}

void Form::setCaption(const std::string& text) { setWindowTitle(fromCp1252(text)); }
std::string Form::caption() const { return toCp1252(windowTitle()); }

void Form::setOuterBounds(int left, int top, int width, int height) {
    move(left, top); // a window's position is its frame's
    setOuterSize(width, height);
}

void Form::setOuterSize(int width, int height) {
    resize((QSize(width, height) - frameExtra()).expandedTo(QSize(1, 1)));
}

void Form::setMinOuterSize(int width, int height) {
    minOuter_ = QSize(width, height);
    applyMinimum();
}

void Form::applyMinimum() {
    if (minOuter_.isValid())
        setMinimumSize((minOuter_ - frameExtra()).expandedTo(QSize(1, 1)));
}

bool Form::updateFrame() {
    QWindow* win = windowHandle();
    if (!win || !isVisible())
        return false;
    const QMargins margins = win->frameMargins();
    if (margins.isNull())
        return false;
    if (margins != frame_) {
        // The outer size stays what it was meant to be; the client gives way.
        const QSize outer = size() + frameExtra();
        frame_ = margins;
        applyMinimum();
        if (border_ != BorderStyle::Dialog)
            resize((outer - frameExtra()).expandedTo(minimumSize()));
        fitOnScreen();
    }
    return true;
}

void Form::fitOnScreen() {
    QWindow* win = windowHandle();
    QScreen* s = screen();
    if (!win || !s || !isVisible())
        return;
    const QRect area = s->availableGeometry();
    const QRect client = win->geometry();
    QSize outer = client.size() + frameExtra();
    const QSize over = (outer - area.size()).expandedTo(QSize(0, 0));
    if (over.width() > 0 || over.height() > 0) {
        const QSize fitted = (client.size() - over).expandedTo(QSize(1, 1));
        if (border_ == BorderStyle::Dialog)
            setFixedSize(fitted);
        else
            setMinimumSize(minimumSize().boundedTo(fitted));
        resize(fitted);
        outer = fitted + frameExtra();
    }
    const QPoint at(client.left() - frame_.left(), client.top() - frame_.top());
    const QPoint fits(std::clamp(at.x(), area.left(), area.left() + area.width() - outer.width()),
                      std::clamp(at.y(), area.top(), area.top() + area.height() - outer.height()));
    if (fits != at)
        win->setFramePosition(fits);
}

void Form::applyHints() {
    switch (border_) {
    case BorderStyle::SizeableNoSystemMenu: applyWindowFunctions(*this, WindowFunctions::MoveResizeOnly); break;
    case BorderStyle::Dialog: applyWindowFunctions(*this, WindowFunctions::MoveOnly); break;
    default: break;
    }
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
#ifdef _WIN32
        // The thin dialog frame without a sizing border (X11: x11_hints).
        f |= Qt::MSWindowsFixedSizeDialogHint;
#endif
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
    applyHints(); // the native window exists now and is not yet mapped
    const bool framed = updateFrame();
    // After the show has handed the widget's geometry to the native window.
    // A shown window becomes the active one, as it would on Windows: the page
    // window and the send dialog leave the main window disabled behind them,
    // and a manager may not focus them by itself.
    QTimer::singleShot(0, this, [this] {
        fitOnScreen();
        if (isVisible())
            activateWindow();
    });
    const QString platform = QGuiApplication::platformName();
    if (!framed && platform != "offscreen" && platform != "minimal") {
        framePolls_ = 0;
        framePoll_.start();
    }
    guarded([this] { formShow(); });
}

void Form::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    updateFrame();
}

void Form::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    updateFrame();
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

#pragma once
// A top-level window with the traits the program's windows are laid out by:
// outer position and size, minimum outer size, border style, caption,
// background colour and font, an optional menu bar above the client area,
// and show/resize hooks whose exceptions are reported, not propagated.
// Outer sizes hold for the frame the window manager draws once it reports its
// extents, and a shown window is kept wholly on the screen's available area.
#include <QMargins>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>
#include <string>

namespace fb {

enum class BorderStyle {
    Sizeable,             // all title-bar buttons
    SizeableCloseOnly,    // system menu and close box only
    SizeableNoSystemMenu, // title bar without any button: left only by its own buttons
    Dialog,               // fixed dialog frame without caption buttons
};

class Form : public QWidget {
public:
    explicit Form(QWidget* parent = nullptr);

    void setCaption(const std::string& text);
    std::string caption() const;

    // Outer bounds include the window frame where the window system has one;
    // before the frame is known they are taken for the client area.
    void setOuterBounds(int left, int top, int width, int height);
    void setOuterSize(int width, int height);
    void setMinOuterSize(int width, int height);
    void setClientSize(int width, int height);
    int outerWidth() const;
    int outerHeight() const;

    void setBorderStyle(BorderStyle style);
    BorderStyle borderStyle() const { return border_; }
    void setColor(QColor color);

    QMenuBar* menuBar();             // created on first use
    virtual QWidget* clientArea() { return client_; }
    int clientWidth() { return clientArea()->width(); }
    int clientHeight() { return clientArea()->height(); }

protected:
    virtual void formShow() {}
    virtual void formResize() {}
    // Closing a window by its frame only hides it, unless it has no close box.
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    QSize frameExtra() const { return {frame_.left() + frame_.right(), frame_.top() + frame_.bottom()}; }
    // Takes up the frame extents the window system reports now; true once known.
    bool updateFrame();
    void applyMinimum();
    void fitOnScreen();
    void applyHints();
    void layoutChildren();
    QWidget* client_;
    QMenuBar* menu_ = nullptr;
    BorderStyle border_ = BorderStyle::Sizeable;
    QSize minOuter_;
    QMargins frame_;      // last extents reported; zero until then
    QTimer framePoll_;    // asks for the extents until the manager has framed the window
    int framePolls_ = 0;
};

} // namespace fb

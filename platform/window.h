#pragma once
// A top-level window with the traits the program's windows are laid out by:
// outer position and size, minimum outer size, border style, caption,
// background colour and font, an optional menu bar above the client area,
// and show/resize hooks whose exceptions are reported, not propagated.
#include <QMenuBar>
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

    // Outer bounds include the window frame where the window system has one.
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

private:
    QSize frameExtra() const;
    void layoutChildren();
    QWidget* client_;
    QMenuBar* menu_ = nullptr;
    BorderStyle border_ = BorderStyle::Sizeable;
    QSize wantedOuter_;
    QSize minOuter_;
};

} // namespace fb

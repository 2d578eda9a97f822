#pragma once
// Controls with the behaviour the questionnaire's layout relies on (absolute
// positions, automatic label sizes, item indexes, check boxes that report
// program changes), over Qt widgets. Texts are Windows-1252 byte strings.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace fb {

// Position and size helpers, in pixels relative to the parent's client area.
void setLeft(QWidget& w, int left);
void setTop(QWidget& w, int top);
void setWidth(QWidget& w, int width);
void setHeight(QWidget& w, int height);
void setBounds(QWidget& w, int left, int top, int width, int height);

// "MS Sans Serif" 8 point (11 pixels), with metric-compatible stand-ins.
QFont uiFont();
// "Courier New" 9 point (12 pixels), fixed pitch.
QFont memoFont();

void setTextColor(QWidget& w, QColor color);
// The colour of an enabled control's text; disabled, it keeps the system's
// disabled look.
void setEnabledTextColor(QWidget& w, QColor color);
void setBackgroundColor(QWidget& w, QColor color);

using Handler = std::function<void()>;

class Label : public QLabel {
public:
    explicit Label(QWidget* parent = nullptr);
    void setCaption(const std::string& text); // CR LF breaks lines
    std::string caption() const { return caption_; }
    void setWordWrap(bool on);
    void setAutoSize(bool on);
    void setCentered(bool on);
    void setLabelWidth(int width); // keeps the automatic size rule
    void adjustBounds();

private:
    std::string caption_;
    bool autoSize_ = true;
};

// A one-line edit that keeps whatever is typed, pasted or dropped: line
// breaks become blanks and characters Windows-1252 cannot hold become '?',
// which a hint next to the field says for a while.
class Edit : public QLineEdit {
public:
    explicit Edit(QWidget* parent = nullptr);
    ~Edit() override;
    void setCaption(const std::string& text);
    std::string caption() const;
    void setOnChange(Handler h) { onChange_ = std::move(h); }
    // The hint, while it is shown; nullptr otherwise.
    QLabel* replacementHint() const;
    void showReplacementHint();

private:
    Handler onChange_;
    QString last_;
    QPointer<QLabel> hint_;
    QTimer hintTimer_;
};

// A framed group of radio buttons in one column; ItemIndex -1 when none.
class RadioGroup : public QGroupBox {
public:
    explicit RadioGroup(QWidget* parent = nullptr);
    void addItem(const std::string& text);
    int count() const { return static_cast<int>(buttons_.size()); }
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton* button(int i) const { return buttons_.at(static_cast<std::size_t>(i)); }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void arrange();
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
};

class ListBox : public QListWidget {
public:
    explicit ListBox(QWidget* parent = nullptr);
    void setMultiSelect(bool on);
    bool multiSelect() const { return multi_; }
    void addItem(const std::string& text);
    int itemHeight() const;
    // Single selection: the selected entry or -1. Multiple selection: the
    // entry that has the keyboard focus, which is the first from the start.
    int itemIndex() const;
    bool selected(int i) const;
    void setSelected(int i, bool on);
    std::string itemText(int i) const;

private:
    bool multi_ = false;
};

class CheckBox : public QCheckBox {
public:
    explicit CheckBox(QWidget* parent = nullptr);
    void setCaption(const std::string& text);
    // The click handler runs on a click and whenever the program changes the
    // mark, so code that clears boxes detaches it first.
    void setOnClick(Handler h) { onClick_ = std::move(h); }
    void clearOnClick() { onClick_ = nullptr; }
    bool hasOnClick() const { return static_cast<bool>(onClick_); }
    void setMark(bool on);
    bool mark() const { return isChecked(); }

private:
    Handler onClick_;
};

class Button : public QPushButton {
public:
    explicit Button(QWidget* parent = nullptr);
    void setCaption(const std::string& text);
    void setOnClick(Handler h) { onClick_ = std::move(h); }

private:
    Handler onClick_;
};

// A multi-line text that the participant cannot change.
class Memo : public QPlainTextEdit {
public:
    explicit Memo(QWidget* parent = nullptr);
    void appendLine(const std::string& line);
    std::vector<std::string> lines() const;
    std::string lastLine() const;
    void setTextBytes(const std::string& bytes); // lone CR or LF end lines too
};

// A picture shown at its natural size from the top-left corner, drawn as it
// is also while its window is disabled.
class Picture : public QLabel {
public:
    explicit Picture(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage image_;
};

// A timer that runs while it is enabled, has an interval and a handler;
// every change of these restarts it.
class Timer : public QObject {
public:
    explicit Timer(QObject* parent = nullptr);
    void setInterval(int ms);
    void setEnabled(bool on);
    void setOnTimer(Handler h);
    bool active() const { return timer_.isActive(); }
    int interval() const { return interval_; }
    bool enabled() const { return enabled_; }
    bool hasOnTimer() const { return static_cast<bool>(onTimer_); }
    void fire(); // what a tick does

private:
    void update();
    QTimer timer_;
    int interval_ = 1000;
    bool enabled_ = true;
    Handler onTimer_;
};

} // namespace fb

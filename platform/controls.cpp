#include "platform/controls.h"

#include "platform/cp1252.h"
#include "platform/error_report.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>
#include <QTextBlock>
#include <QValidator>
#include <algorithm>
#include <limits>

namespace fb {

void setLeft(QWidget& w, int left) { w.move(left, w.y()); }
void setTop(QWidget& w, int top) { w.move(w.x(), top); }
void setWidth(QWidget& w, int width) { w.resize(width, w.height()); }
void setHeight(QWidget& w, int height) { w.resize(w.width(), height); }
void setBounds(QWidget& w, int left, int top, int width, int height) {
    w.setGeometry(left, top, width, height);
}

QFont uiFont() {
    QFont f;
    f.setFamilies({"MS Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

QFont memoFont() {
    QFont f;
    f.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono"});
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPixelSize(12);
    return f;
}

void setTextColor(QWidget& w, QColor color) {
    QPalette p = w.palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    p.setColor(QPalette::ButtonText, color);
    w.setPalette(p);
}

void setEnabledTextColor(QWidget& w, QColor color) {
    QPalette p = w.palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::WindowText, color);
        p.setColor(g, QPalette::Text, color);
        p.setColor(g, QPalette::ButtonText, color);
    }
    w.setPalette(p);
}

void setBackgroundColor(QWidget& w, QColor color) {
    QPalette p = w.palette();
    p.setColor(QPalette::Window, color);
    p.setColor(QPalette::Base, color);
    w.setPalette(p);
    w.setAutoFillBackground(true);
}

namespace {
QString displayText(const std::string& bytes) {
    QString t = fromCp1252(bytes);
    t.replace("\r\n", "\n");
    t.replace('\r', '\n');
    return t;
}
} // namespace

// ---------------------------------------------------------------- Label

Label::Label(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setContentsMargins(0, 0, 0, 0);
    setMargin(0);
    setIndent(0);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    adjustBounds();
}

void Label::setCaption(const std::string& text) {
    caption_ = text;
    setText(displayText(text));
    adjustBounds();
}

void Label::setWordWrap(bool on) {
    QLabel::setWordWrap(on);
    adjustBounds();
}

void Label::setAutoSize(bool on) {
    autoSize_ = on;
    adjustBounds();
}

void Label::setCentered(bool on) {
    setAlignment((on ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
}

void Label::setLabelWidth(int width) {
    resize(width, height());
    // Without word wrap the width stands as set until the text or the wrap
    // changes; re-fitting here would undo it before wrap is switched on.
    if (wordWrap())
        adjustBounds();
}

void Label::adjustBounds() {
    if (!autoSize_)
        return;
    QFontMetrics fm(font());
    const QString t = text().isEmpty() ? QStringLiteral(" ") : text();
    if (wordWrap()) {
        // Keep the width, take the height the label needs to show all of
        // its wrapped text at that width.
        const int w = std::max(1, width());
        resize(w, std::max(text().isEmpty() ? 0 : heightForWidth(w), fm.height()));
    } else {
        const QStringList lines = t.split('\n');
        int w = 0;
        for (const QString& l : lines)
            w = std::max(w, fm.horizontalAdvance(l));
        resize(w, static_cast<int>(lines.size()) * fm.height());
    }
}

// ---------------------------------------------------------------- Edit

namespace {

// Keeps every insertion: the text before it was already fit for an answer,
// so only the inserted part (ending at the cursor) changes.
class OneLineValidator : public QValidator {
public:
    explicit OneLineValidator(Edit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int& pos) const override {
        const qsizetype at = std::clamp<qsizetype>(pos, 0, input.size());
        bool replacedBefore = false;
        bool replacedAfter = false;
        const QString before = oneStorableLine(input.left(at), &replacedBefore);
        const QString after = oneStorableLine(input.mid(at), &replacedAfter);
        if (const QString fixed = before + after; fixed != input) {
            input = fixed;
            pos = static_cast<int>(before.size());
        }
        if (replacedBefore || replacedAfter)
            edit_->showReplacementHint();
        return Acceptable;
    }

private:
    Edit* edit_;
};

constexpr int kHintMs = 6000;

} // namespace

Edit::Edit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new OneLineValidator(this));
    setMaxLength(std::numeric_limits<int>::max()); // a long comment is kept whole
    resize(121, sizeHint().height());
    hintTimer_.setSingleShot(true);
    hintTimer_.setInterval(kHintMs);
    connect(&hintTimer_, &QTimer::timeout, this, [this] {
        if (hint_)
            hint_->hide();
    });
    connect(this, &QLineEdit::textChanged, this, handler([this](const QString& t) {
                if (t == last_)
                    return;
                last_ = t;
                if (onChange_)
                    onChange_();
            }));
}

Edit::~Edit() { delete hint_.data(); }

QLabel* Edit::replacementHint() const { return hint_ && hint_->isVisible() ? hint_.data() : nullptr; }

void Edit::showReplacementHint() {
    // On the field's parent, so it may stand below the field; it goes with
    // the field.
    QWidget* host = parentWidget() ? parentWidget() : this;
    if (!hint_) {
        hint_ = new QLabel(fromCp1252("Einige Zeichen k\xF6nnen nicht gespeichert werden und wurden durch ? ersetzt."),
                           host);
        hint_->setObjectName("Ersetzt");
        hint_->setTextFormat(Qt::PlainText);
        hint_->setFont(font());
        hint_->setFrameStyle(QFrame::Box | QFrame::Plain);
        hint_->setMargin(1);
        hint_->setForegroundRole(QPalette::ToolTipText);
        hint_->setBackgroundRole(QPalette::ToolTipBase);
        hint_->setAutoFillBackground(true);
        hint_->setFocusPolicy(Qt::NoFocus);
        hint_->setAccessibleName(hint_->text());
        hint_->adjustSize();
    }
    QPoint at = host == this ? QPoint(0, height()) : QPoint(x(), y() + height() + 1);
    if (host != this && at.y() + hint_->height() > host->height())
        at.setY(y() - hint_->height() - 1);
    hint_->move(at);
    hint_->raise();
    hint_->show();
    hintTimer_.start();
}

void Edit::setCaption(const std::string& text) { setText(fromCp1252(text)); }
std::string Edit::caption() const { return toCp1252(text()); }

// ---------------------------------------------------------------- RadioGroup

RadioGroup::RadioGroup(QWidget* parent) : QGroupBox(parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
}

void RadioGroup::addItem(const std::string& text) {
    auto* b = new QRadioButton(displayText(text), this);
    b->setFocusPolicy(Qt::StrongFocus);
    group_->addButton(b, static_cast<int>(buttons_.size()));
    buttons_.push_back(b);
    b->show();
    arrange();
}

int RadioGroup::itemIndex() const {
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

void RadioGroup::setItemIndex(int index) {
    group_->setExclusive(false);
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setChecked(static_cast<int>(i) == index);
    group_->setExclusive(true);
}

void RadioGroup::resizeEvent(QResizeEvent* e) {
    QGroupBox::resizeEvent(e);
    arrange();
}

void RadioGroup::arrange() {
    if (buttons_.empty())
        return;
    // The buttons share the height below the caption line evenly, so a long
    // list in a short group is squeezed rather than cut off.
    const int fh = QFontMetrics(font()).height();
    const int n = static_cast<int>(buttons_.size());
    const int avail = std::max(0, height() - fh - 5);
    const int bh = avail / n;
    const int top = fh + 1 + (avail % n) / 2;
    for (int i = 0; i < n; ++i)
        buttons_[static_cast<std::size_t>(i)]->setGeometry(8, top + i * bh, std::max(0, width() - 16), bh);
}

// ---------------------------------------------------------------- ListBox

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setSpacing(0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ListBox::setMultiSelect(bool on) {
    multi_ = on;
    setSelectionMode(on ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
}

int ListBox::itemHeight() const { return QFontMetrics(font()).height(); }

void ListBox::addItem(const std::string& text) {
    auto* item = new QListWidgetItem(displayText(text), this);
    item->setSizeHint(QSize(0, itemHeight()));
}

int ListBox::itemIndex() const {
    if (multi_)
        return currentRow() >= 0 ? currentRow() : 0;
    const auto sel = selectedItems();
    return sel.isEmpty() ? -1 : row(sel.front());
}

bool ListBox::selected(int i) const {
    const QListWidgetItem* it = item(i);
    return it && it->isSelected();
}

void ListBox::setSelected(int i, bool on) {
    if (QListWidgetItem* it = item(i))
        it->setSelected(on);
}

std::string ListBox::itemText(int i) const {
    const QListWidgetItem* it = item(i);
    return it ? toCp1252(it->text()) : std::string();
}

// ---------------------------------------------------------------- CheckBox

CheckBox::CheckBox(QWidget* parent) : QCheckBox(parent) {
    resize(sizeHint());
    connect(this, &QCheckBox::clicked, this, handler([this](bool) {
                if (onClick_)
                    onClick_();
            }));
}

void CheckBox::setCaption(const std::string& text) {
    setText(displayText(text));
    resize(sizeHint());
}

void CheckBox::setMark(bool on) {
    if (isChecked() == on)
        return;
    setChecked(on);
    if (onClick_)
        onClick_();
}

// ---------------------------------------------------------------- Button

Button::Button(QWidget* parent) : QPushButton(parent) {
    resize(75, sizeHint().height());
    connect(this, &QPushButton::clicked, this, handler([this](bool) {
                if (onClick_)
                    onClick_();
            }));
}

void Button::setCaption(const std::string& text) { setText(fromCp1252(text)); }

// ---------------------------------------------------------------- Memo

Memo::Memo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void Memo::appendLine(const std::string& line) {
    appendPlainText(fromCp1252(line));
}

std::vector<std::string> Memo::lines() const {
    std::vector<std::string> out;
    const QTextDocument* doc = document();
    if (doc->isEmpty() && doc->blockCount() == 1)
        return out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        out.push_back(toCp1252(b.text()));
    // A text ending in a line end has no further line, as in a line list.
    if (out.size() > 1 && out.back().empty())
        out.pop_back();
    return out;
}

std::string Memo::lastLine() const {
    auto l = lines();
    return l.empty() ? std::string() : l.back();
}

void Memo::setTextBytes(const std::string& bytes) { setPlainText(displayText(bytes)); }

// ---------------------------------------------------------------- Picture

Picture::Picture(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setScaledContents(false);
}

void Picture::setImage(const QImage& image) {
    image_ = image;
    setPixmap(QPixmap::fromImage(image));
}

void Picture::paintEvent(QPaintEvent*) {
    // Drawn here rather than by the label, which pales a disabled pixmap.
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

// ---------------------------------------------------------------- Timer

Timer::Timer(QObject* parent) : QObject(parent) {
    connect(&timer_, &QTimer::timeout, this, handler([this] { fire(); }));
}

void Timer::fire() {
    if (onTimer_) {
        Handler h = onTimer_; // the handler may detach itself
        h();
    }
}

void Timer::setInterval(int ms) {
    if (ms == interval_)
        return;
    interval_ = ms;
    update();
}

void Timer::setEnabled(bool on) {
    if (on == enabled_)
        return;
    enabled_ = on;
    update();
}

void Timer::setOnTimer(Handler h) {
    onTimer_ = std::move(h);
    update();
}

void Timer::update() {
    timer_.stop();
    if (interval_ > 0 && enabled_ && onTimer_)
        timer_.start(interval_);
}

} // namespace fb

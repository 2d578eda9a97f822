#include "engine/form_fragen.h"

#include <QScrollBar>

TFormFragen::TFormFragen(QWidget* parent)
    : Form(parent), scroll_(new QScrollArea(Form::clientArea())), content_(new QWidget) {
    setObjectName("FormFragen");
    setCaption("Fragebogen, Seite 1/1");
    setBorderStyle(fb::BorderStyle::SizeableNoSystemMenu);
    setColor(Qt::white);
    scroll_->setFrameShape(QFrame::NoFrame);
    // The page's controls take the focus, never the area that scrolls them.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setWidgetResizable(false);
    scroll_->setWidget(content_);
    fb::setBackgroundColor(*content_, Qt::white);
    fb::setBackgroundColor(*scroll_->viewport(), Qt::white);
    setOuterBounds(134, 31, 571, 508);
    setMinOuterSize(400, 300);

    // Created first, so they come first in the tab order.
    SpeichernButton = new fb::Button(content_);
    SpeichernButton->setObjectName("SpeichernButton");
    SpeichernButton->setCaption("Speichern");
    AbbrechenButton = new fb::Button(content_);
    AbbrechenButton->setObjectName("AbbrechenButton");
    AbbrechenButton->setCaption("Abbrechen");
}

TFormFragen::~TFormFragen() {
    delete AbbrechenButton;
    delete SpeichernButton;
}

void TFormFragen::formResize() {
    scroll_->setGeometry(Form::clientArea()->rect());
    updateScrollRange();
}

void TFormFragen::updateScrollRange() {
    int right = 0;
    int bottom = 0;
    for (QObject* o : content_->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden())
            continue;
        right = std::max(right, w->geometry().right() + 1);
        bottom = std::max(bottom, w->geometry().bottom() + 1);
    }
    const QSize view = scroll_->maximumViewportSize();
    int width = std::max(view.width(), right);
    if (bottom > view.height() && right <= view.width())
        width = std::max(view.width() - scroll_->verticalScrollBar()->sizeHint().width(), right);
    content_->resize(width, std::max(view.height(), bottom));
}

void TFormFragen::scrollToTop() {
    // Both ways: a page scrolled sideways in a narrowed window must not
    // leave the next one scrolled.
    scroll_->verticalScrollBar()->setValue(0);
    scroll_->horizontalScrollBar()->setValue(0);
}

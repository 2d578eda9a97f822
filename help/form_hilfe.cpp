#include "help/form_hilfe.h"

#include "platform/error_report.h"

#include <QApplication>

namespace {
fb::Memo* makeMemo(QWidget* page, int width) {
    auto* m = new fb::Memo(page);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->setGeometry(0, 0, width, 249);
    return m;
}
} // namespace

TFormHilfe::TFormHilfe(Loader load, QWidget* parent) : Form(parent), load_(std::move(load)) {
    setObjectName("FormHilfe");
    setCaption("Informationen");
    setBorderStyle(fb::BorderStyle::Sizeable);
    setColor(QApplication::palette().color(QPalette::Button)); // the system's menu colour
    setOuterBounds(345, 230, 420, 311);
    setMinOuterSize(350, 250);

    PageControl1 = new QTabWidget(clientArea());
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(0, 0, 409, 281);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet1, "Anleitung");
    PageControl1->addTab(TabSheet2, "Datenschutz");
    PageControl1->addTab(TabSheet3, "Kontakt");
    Memo1 = makeMemo(TabSheet1, 401);
    Memo2 = makeMemo(TabSheet2, 401);
    Memo3 = makeMemo(TabSheet3, 393);
    Memo1->setObjectName("Memo1");
    Memo2->setObjectName("Memo2");
    Memo3->setObjectName("Memo3");
    PageControl1->setCurrentIndex(0);
    // The tab control lays its pages out only once it is shown and again after
    // every resize; the memos follow whenever a page's size changes that way.
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3})
        page->installEventFilter(this);
    connect(PageControl1, &QTabWidget::currentChanged, this, fb::handler([this] { FormResize(); }));

    fb::guarded([this] { FormCreate(); });
}

void TFormHilfe::FormCreate() {
    // A missing text stops here: the later memos stay empty.
    Memo1->setTextBytes(load_("hilfe1.txt"));
    Memo2->setTextBytes(load_("hilfe2.txt"));
    Memo3->setTextBytes(load_("hilfe3.txt"));
}

void TFormHilfe::FormResize() {
    PageControl1->setGeometry(0, 0, clientWidth(), clientHeight());
    fb::Memo* memos[] = {Memo1, Memo2, Memo3};
    QWidget* pages[] = {TabSheet1, TabSheet2, TabSheet3};
    // The tab control lays out only its current page; the others share its
    // frame and get it when they are selected.
    QWidget* current = PageControl1->currentWidget();
    for (int k = 0; k < 3; ++k) {
        const QSize page = current ? current->size() : pages[k]->size();
        memos[k]->resize(page.width(), memos[k]->height());
        memos[k]->resize(memos[k]->width(), page.height());
    }
}

bool TFormHilfe::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && !fitting_) {
        fitting_ = true;
        fb::guarded([this] { FormResize(); });
        fitting_ = false;
    }
    return Form::eventFilter(watched, event);
}

#include "engine/progress_line.h"

#include "engine/control_names.h"

namespace fb {

QProgressBar& showProgress(TFormFragen& window, int pageNumber, int pageCount) {
    QWidget* content = window.clientArea();
    auto* bar = content->findChild<QProgressBar*>("Fortschritt", Qt::FindDirectChildrenOnly);
    if (!bar) {
        bar = new QProgressBar(content);
        bar->setObjectName("Fortschritt");
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setTextVisible(false);
        bar->setStyleSheet("QProgressBar { border: none; background: #dcdcdc; }"
                           "QProgressBar::chunk { background: #3a6fd8; }");
    }
    const int W = window.outerWidth();
    bar->setGeometry(30, kProgressTop, W - 80, kProgressHeight);
    bar->setRange(0, std::max(1, pageCount));
    bar->setValue(std::clamp(pageNumber, 0, std::max(1, pageCount)));
    describeControl(*bar, "Fortschritt: Seite " + std::to_string(pageNumber) + " von " +
                              std::to_string(pageCount));
    bar->show();
    return *bar;
}

} // namespace fb

#include "platform/dialogs.h"

#include "platform/controls.h"
#include "platform/cp1252.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace fb {
namespace {

QtDialogService& qtService() {
    static QtDialogService service;
    return service;
}

DialogService* current = nullptr;

std::string& titleStorage() {
    static std::string title;
    return title;
}

QString toQtFilter(const std::string& filter) {
    // "Description|*.ext" becomes "Description (*.ext)"; pairs are separated by '|'.
    QStringList parts = fromCp1252(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        QString pattern = parts[i + 1];
        pattern.replace(';', ' ');
        out << (desc.contains(pattern) ? desc : desc + " (" + pattern + ")");
    }
    return out.join(";;");
}

} // namespace

DialogService& dialogs() { return current ? *current : qtService(); }
void setDialogs(DialogService* service) { current = service; }

const std::string& applicationTitle() { return titleStorage(); }
void setApplicationTitle(const std::string& title) {
    // Not Qt's display name: that would be appended to every window's caption.
    titleStorage() = title;
}

BoxAnswer warningBox(const std::string& text, BoxButtons buttons) {
    return dialogs().messageBox("Warning", text, BoxIcon::Warning, buttons);
}
BoxAnswer errorBox(const std::string& text, BoxButtons buttons, const std::string& details) {
    return dialogs().messageBox("Error", text, BoxIcon::Error, buttons, details);
}
BoxAnswer informationBox(const std::string& text, BoxButtons buttons) {
    return dialogs().messageBox("Information", text, BoxIcon::Information, buttons);
}
BoxAnswer plainBox(const std::string& text, BoxButtons buttons, const std::string& details) {
    return dialogs().messageBox(applicationTitle(), text, BoxIcon::None, buttons, details);
}

BoxAnswer QtDialogService::messageBox(const std::string& caption, const std::string& text,
                                      BoxIcon icon, BoxButtons buttons, const std::string& details) {
    QMessageBox box;
    box.setFont(uiFont()); // the program's own, as its windows have
    box.setWindowTitle(fromCp1252(caption));
    box.setText(fromCp1252(text));
    box.setTextFormat(Qt::PlainText);
    if (!details.empty())
        box.setDetailedText(fromCp1252(details));
    switch (icon) {
    case BoxIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case BoxIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case BoxIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    QPushButton* ok = box.addButton("OK", QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (buttons == BoxButtons::OkCancel)
        cancel = box.addButton("Cancel", QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel ? cancel : ok);
    // Wide enough for the whole caption beside the title bar's icon and
    // buttons, as the system's boxes are; a short text would leave it cut.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int wanted = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 120;
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
    return box.clickedButton() == ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

std::optional<std::string> QtDialogService::openFile(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), fromCp1252(request.title));
    dialog.setFont(uiFont());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(toQtFilter(request.filter));
    dialog.setDefaultSuffix(fromCp1252(request.defaultExt));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toCp1252(dialog.selectedFiles().front());
}

} // namespace fb

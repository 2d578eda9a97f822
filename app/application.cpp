#include "app/application.h"

#include "app/config.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "help/form_hilfe.h"
#include "platform/cp1252.h"
#include "platform/dialogs.h"
#include "submit/form_senden.h"

#include <QGuiApplication>
#include <QIcon>

namespace fb {

const ResourceStore& embeddedProgramResources() { return embeddedResources(); }

std::string applicationTitleText() {
    return toCp1252(QString::fromUtf8(config::StudySiteName)) + " - Humor-Fragebogen";
}

std::string versionText() {
    return std::string("Fragebogen ") + config::FileVersion + "\n" + "FileDescription: Fragebogen\n" +
           "FileVersion: " + config::FileVersion + "\n" + "ProductVersion: " + config::ProductVersion +
           "\n" + "CompanyName: " + config::StudySiteName + "\n";
}

Program::Program(const ResourceStore& resources) {
    setApplicationTitle(applicationTitleText());
    if (const ResourceEntry* icon = resources.find("PNG", "MAINICON")) {
        QPixmap pm;
        pm.loadFromData(icon->data, static_cast<uint>(icon->size), "PNG");
        QApplication::setWindowIcon(QIcon(pm));
    }
    FormMenu = new TFormMenu(resources);
    // The title names the program in task bars: the main window's icon text,
    // and the desktop entry its windows belong to.
    FormMenu->setWindowIconText(fromCp1252(applicationTitle()));
    QGuiApplication::setDesktopFileName("fragebogen");
    FormFragen = new TFormFragen;
    FormSenden = new TFormSenden(FormMenu);
    FormHilfe = new TFormHilfe([this](const std::string& name) {
        FormMenu->LoadResourceFile(name, *FormMenu->ResourceStream);
        return FormMenu->ResourceStream->readAll();
    });
    FormMenu->attachWindows(FormFragen, FormSenden, FormHilfe);
}

Program::~Program() {
    // The main window first: its page controls live on the page window.
    delete FormMenu;
    delete FormHilfe;
    delete FormSenden;
    delete FormFragen;
}

void Program::show() {
    FormMenu->show();
    FormMenu->setAttribute(Qt::WA_QuitOnClose, true);
    for (QWidget* w : {static_cast<QWidget*>(FormFragen), static_cast<QWidget*>(FormSenden),
                       static_cast<QWidget*>(FormHilfe)})
        w->setAttribute(Qt::WA_QuitOnClose, false);
    QObject::connect(qApp, &QApplication::lastWindowClosed, qApp, &QApplication::quit);
}

} // namespace fb

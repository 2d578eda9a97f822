#include "submit/form_senden.h"

#include "app/config.h"
#include "app/form_menu.h"
#include "platform/cp1252.h"

#include <QFile>
#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "engine/text_lines.h"
#include "submit/answer_file_summary.h"
#include "submit/status_check.h"

#include <QShowEvent>

namespace {
fb::Label* label(QWidget* parent, int left, int top, const std::string& text, const char* name) {
    auto* l = new fb::Label(parent);
    l->setObjectName(name);
    l->move(left, top);
    l->setCaption(text);
    return l;
}
fb::Button* button(QWidget* parent, int left, int top, int w, int h, const std::string& text,
                   const char* name) {
    auto* b = new fb::Button(parent);
    b->setObjectName(name);
    b->setGeometry(left, top, w, h);
    b->setCaption(text);
    return b;
}
} // namespace

TFormSenden::TFormSenden(TFormMenu* menu, QWidget* parent) : Form(parent), menu_(menu) {
    setObjectName("FormSenden");
    setCaption("Daten senden");
    setColor(Qt::white);
    move(82, 265);
    setClientSize(280, 152);
    setBorderStyle(fb::BorderStyle::Dialog);

    QWidget* c = clientArea();
    Label1 = label(c, 8, 8, "Dateiname", "Label1");
    Dateiname = new fb::Edit(c);
    Dateiname->setObjectName("Dateiname");
    Dateiname->setGeometry(72, 8, 137, 21);
    Button2 = button(c, 216, 8, 57, 17, "W\xE4hlen", "Button2");
    Label2 = label(c, 8, 40, "Name", "Label2");
    NameLabel = label(c, 72, 40, "-", "NameLabel");
    Label3 = label(c, 8, 64, "Email", "Label3");
    Maillabel = label(c, 72, 64, "-", "Maillabel");
    Warnung = label(c, 72, 88, "-", "Warnung");
    Button1 = button(c, 104, 120, 81, 25, "Daten senden", "Button1");
    Button3 = button(c, 192, 120, 83, 25, "Sp\xE4ter senden", "Button3");
    OpenDialog1 = {"Bitte w\xE4hlen Sie eine Antwortdatei", "Fragebogen Daten Datei (*.bgn)|*.bgn", "bgn"};

    Dateiname->setOnChange([this] { DateinameChange(); });
    Button2->setOnClick([this] { Button2Click(); });
    Button1->setOnClick([this] { Button1Click(); });
    Button3->setOnClick([this] { Button3Click(); });
}

std::string TFormSenden::answerFileName(int n) { return fb::answerFileName(n); }

void TFormSenden::FormShow() {
    menu_->Abesn1->setEnabled(true);
    Dateiname->setCaption("");
    // The lowest unsent file of the unbroken run from number 0; if all of the
    // run are sent or defective, its last file.
    int chosen = -1;
    for (int n = 0;; ++n) {
        const std::string name = answerFileName(n);
        if (!fb::fileExists(name)) {
            chosen = n - 1;
            break;
        }
        if (fb::readLineFile(name).size() == 1) {
            chosen = n;
            break;
        }
    }
    if (chosen >= 0)
        Dateiname->setCaption(answerFileName(chosen));
}

void TFormSenden::DateinameChange() {
    const std::string name = Dateiname->caption();
    if (!fb::fileExists(name)) {
        NameLabel->setCaption("n/a");
        Maillabel->setCaption("n/a");
        Warnung->setCaption("keine Datei");
        return;
    }
    Button1->setEnabled(true);
    const fb::AnswerFileSummary summary = fb::summarizeAnswerFile(fb::readLineFile(name));
    if (summary.state == fb::AnswerFileState::Defective) {
        Warnung->setCaption("Diese Datei ist defekt.");
        Button1->setEnabled(false);
        return;
    }
    NameLabel->setCaption(summary.name);
    Maillabel->setCaption(summary.email);
    Warnung->setCaption("");
    if (summary.state == fb::AnswerFileState::Sent) {
        Warnung->setCaption("Diese Datei wurde bereits gesendet.");
        Button1->setEnabled(false);
    }
}

void TFormSenden::Button2Click() {
    if (auto file = fb::dialogs().openFile(OpenDialog1))
        Dateiname->setCaption(*file);
}

void TFormSenden::Button3Click() {
    menu_->setEnabled(true);
    hide();
    menu_->show();
}

void TFormSenden::Button1Click() {
    fb::TNMHTTP& http = *menu_->HttpClient;
    http.OutputFileMode = true;
    http.TimeOut = 60000;
    const std::string name = Dateiname->caption();
    std::string reason;
    {
        // The wait keeps the window live; a second click must not send twice.
        Button1->setEnabled(false);
        struct Reenable {
            fb::Button* b;
            ~Reenable() { b->setEnabled(true); }
        } reenable{Button1};
        // The client opens the file by its name in the file system's encoding.
        try {
            http.Post(fb::studyServerUrl(menu_->StudyServerHost, "/cgi-bin/mailmanager.pl"),
                      QFile::encodeName(fb::fromCp1252(name)).toStdString());
        } catch (const fb::ETlsError& e) {
            // No secure connection: nothing was sent, and the participant
            // learns why.
            http.Body.clear();
            reason = e.reason();
        }
    }
    if (http.Body.find("Vielen Dank!") == std::string::npos) {
        fb::plainBox("Es konnte keine Verbindung zum Server aufgebaut werden. Bitte versuchen Sie es sp\xE4ter noch "
                     "einmal oder senden Sie die Datei per Email-Attachment an " +
                         fb::toCp1252(QString::fromUtf8(fb::config::ContactAddress)),
                     fb::BoxButtons::Ok, reason);
        return;
    }
    fb::plainBox("Die Daten\xFC" "bertragung war erfolgreich. Sie erhalten in K\xFCrze eine Empfangsbest\xE4tigung an "
                 "die angegebene Email-Adresse. Vielen Dank f\xFCr Ihre Teilnahme.");
    std::vector<std::string> lines = fb::readLineFile(name);
    lines.push_back("Daten erfolgreich gesendet.");
    fb::writeLineFile(name, lines);
    DateinameChange();
    hide();
    menu_->setEnabled(true);
    menu_->show();
}

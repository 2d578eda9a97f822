#include "app/form_menu.h"

#include "app/config.h"
#include "engine/answer_files.h"
#include "engine/answer_marks.h"
#include "engine/answers.h"
#include "engine/form_fragen.h"
#include "engine/line_file.h"
#include "engine/page_builder.h"
#include "engine/progress_line.h"
#include "engine/rating_keys.h"
#include "engine/resource_loader.h"
#include "help/form_hilfe.h"
#include "platform/cp1252.h"
#include "platform/dialogs.h"
#include "platform/error_report.h"
#include "submit/form_senden.h"
#include "submit/status_check.h"

#include <QCloseEvent>
#include <cstdio>
#include <QKeySequence>
#include <QMouseEvent>

namespace {
const QColor kLogoBlue(6, 0, 255);
const QColor kMemoText(160, 200, 255);

std::string utf8ToCp1252(const char* utf8) { return fb::toCp1252(QString::fromUtf8(utf8)); }
} // namespace

TFormMenu::TFormMenu(const fb::ResourceStore& resources, QWidget* parent)
    : Form(parent),
      StudyServerHost(serverHostOverride().empty() ? utf8ToCp1252(fb::config::StudyServerHost)
                                                   : serverHostOverride()),
      StudyWebAddress(utf8ToCp1252(fb::config::StudyWebAddress)), resources_(resources) {
    buildLayout();
    fb::guarded([this] { FormCreate(); });
}

TFormMenu::~TFormMenu() { FormDestroy(); }

void TFormMenu::buildLayout() {
    setObjectName("FormMenu");
    setCaption("Fragebogen V1.0");
    setBorderStyle(fb::BorderStyle::SizeableCloseOnly);
    setOuterBounds(57, 119, 559, 305);
    setMinOuterSize(500, 290);

    Neue1 = menuBar()->addMenu("&Fragebogen");
    Neue1->setObjectName("Neue1");
    Hilfe1 = Neue1->addAction("&Anleitung");
    Neue1->addSeparator();
    Fortfahren1 = Neue1->addAction("&Weitermachen");
    Fortfahren1->setShortcut(QKeySequence("Ctrl+W"));
    Fortfahren1->setEnabled(false);
    NeuerBogen1 = Neue1->addAction("&Neuer Bogen");
    NeuerBogen1->setShortcut(QKeySequence("Ctrl+N"));
    Neue1->addSeparator();
    Abesn1 = Neue1->addAction("Ab&senden");
    Abesn1->setEnabled(false);
    laufzeit = Neue1->addAction("Studienlaufzeit testen");
    Neue1->addSeparator();
    Exit1 = Neue1->addAction("E&xit");
    Exit1->setShortcut(QKeySequence("Ctrl+X"));
    const std::pair<QAction*, const char*> names[] = {
        {Hilfe1, "Hilfe1"}, {Fortfahren1, "Fortfahren1"}, {NeuerBogen1, "NeuerBogen1"},
        {Abesn1, "Abesn1"}, {laufzeit, "laufzeit"},       {Exit1, "Exit1"}};
    for (auto [action, name] : names) {
        action->setObjectName(name);
        action->setShortcutVisibleInContextMenu(true);
        addAction(action); // short-cuts work while the window is active
    }
    connect(Hilfe1, &QAction::triggered, this, fb::handler([this] { Hilfe1Click(); }));
    connect(Fortfahren1, &QAction::triggered, this, fb::handler([this] { Fortfahren1Click(); }));
    connect(NeuerBogen1, &QAction::triggered, this, fb::handler([this] { NeuerBogen1Click(); }));
    connect(Abesn1, &QAction::triggered, this, fb::handler([this] { Abesn1Click(); }));
    connect(laufzeit, &QAction::triggered, this, fb::handler([this] { laufzeitClick(); }));
    connect(Exit1, &QAction::triggered, this, fb::handler([this] { Exit1Click(); }));

    QWidget* c = clientArea();
    Image1 = new fb::Picture(c);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 8, 209, 195);
    Image1->setMouseTracking(true);
    Image1->installEventFilter(this);
    if (const fb::ResourceEntry* logo = resources_.find("BMP", "LOGO"))
        Image1->setImage(QImage::fromData(reinterpret_cast<const uchar*>(logo->data),
                                          static_cast<int>(logo->size), "BMP"));

    menumemo = new fb::Memo(c);
    menumemo->setObjectName("menumemo");
    menumemo->setGeometry(192, 0, 185, 89);
    menumemo->setFrameStyle(QFrame::NoFrame);
    menumemo->setFont(fb::memoFont());
    menumemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    menumemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Button1 = new fb::Button(c);
    Button1->setObjectName("Button1");
    Button1->setGeometry(16, 208, 73, 17);
    Button1->setCaption("Neuer &Bogen");
    fb::setEnabledTextColor(*Button1, Qt::red);
    Button1->setOnClick([this] { NeuerBogen1Click(); });

    FortButton = new fb::Button(c);
    FortButton->setObjectName("FortButton");
    FortButton->setGeometry(96, 208, 83, 17);
    FortButton->setCaption("&Weitermachen");
    fb::setEnabledTextColor(*FortButton, Qt::red);
    FortButton->setEnabled(false);
    FortButton->setOnClick([this] { Fortfahren1Click(); });

    setTabOrder(menumemo, Button1);
    setTabOrder(Button1, FortButton);

    Timer1 = new fb::Timer(this);
    Timer1->setInterval(1000);
    Timer1->setEnabled(true);
    Timer1->setOnTimer([this] { Timer1Timer(); }); // armed from the start
}

std::string& TFormMenu::serverHostOverride() {
    static std::string host;
    return host;
}

void TFormMenu::attachWindows(TFormFragen* fragen, TFormSenden* senden, TFormHilfe* hilfe) {
    FormFragen = fragen;
    FormSenden = senden;
    FormHilfe = hilfe;
    FormFragen->SpeichernButton->setOnClick([this] { WeiterClick(); });
    FormFragen->AbbrechenButton->setOnClick([this] { AbbruchClick(FormFragen->AbbrechenButton); });
    // Their captions are their accessible names; the tooltips say what they do.
    FormFragen->SpeichernButton->setToolTip(
        fb::fromCp1252("Antworten dieser Seite speichern und zur n\xE4" "chsten Seite gehen"));
    FormFragen->AbbrechenButton->setToolTip(
        fb::fromCp1252("Ausf\xFCllen unterbrechen; die gespeicherten Seiten bleiben f\xFCr sp\xE4ter erhalten"));
}

std::string TFormMenu::headerLine() const {
    return "recipient=" + utf8ToCp1252(fb::config::RecipientAddress) + "&subject=Bogendaten";
}

void TFormMenu::setContinueEnabled(bool on) {
    Fortfahren1->setEnabled(on);
    FortButton->setEnabled(on);
}

void TFormMenu::LoadResourceFile(const std::string& FileName, fb::MemoryStream& Stream) {
    fb::loadResourceFile(resources_, FileName, Stream);
}

bool TFormMenu::reminderDue(const fb::LocalDate& d) {
    return d.year > 2002 || (d.year == 2002 && d.month > 10);
}

void TFormMenu::FormCreate() {
    PictureImage = std::make_unique<fb::Picture>();
    PictureImage->setImage(QImage());
    SavedLogo = std::make_unique<QImage>(Image1->image());
    HttpClient = std::make_unique<fb::TNMHTTP>(this);
    setColor(kLogoBlue);
    clientArea()->setAutoFillBackground(false);
    fb::setBackgroundColor(*menumemo, kLogoBlue);
    fb::setTextColor(*menumemo, kMemoText);
    ResourceStream = std::make_unique<fb::MemoryStream>();
    AnswerData = std::make_unique<std::vector<std::string>>();
    ScriptLines = std::make_unique<fb::ScriptLines>();
    // A program killed while writing leaves its temporary file (a copy of
    // answers) behind; files another running program is writing stay.
    fb::removeStaleTemporaries(".");
    ProgressSaved = fb::fileExists(fb::kProgressFile);
    menumemo->appendLine(" ");
    LoadResourceFile("bogen.txt", *ResourceStream);
    ScriptLines->assignText(ResourceStream->bytes());
    PageCount = fb::countPages(*ScriptLines);
    menumemo->appendLine(std::to_string(PageCount) + " Seiten gefunden.");
    if (ProgressSaved) {
        menumemo->appendLine("Es wurde ein teilweise ausgef\xFCllter Fragebogen gefunden.");
        menumemo->appendLine("W\xE4hlen Sie \"Weitermachen\", um mit dem Ausf\xFCllen fortzufahren.");
        menumemo->appendLine(
            "W\xE4hlen Sie \"Neuer Bogen\" um ihre bisherigen Eingaben zu verwerfen und neu zu beginnen.");
        *AnswerData = fb::readLineFile(fb::kProgressFile);
        setContinueEnabled(true);
    } else {
        menumemo->appendLine("W\xE4hlen Sie \"Neuer Bogen\" um mit dem Ausf\xFCllen zu beginnen.");
    }
    menumemo->appendLine("Bereit.");
    if (reminderDue(fb::today()))
        laufzeitClick();
}

void TFormMenu::FormDestroy() {
    if (PictureImage && !Page.Controls.empty())
        fb::teardownPage(Page, *PictureImage);
    SavedLogo.reset();
    PictureImage.reset();
    AnswerData.reset();
    ResourceStream.reset();
    ScriptLines.reset();
    HttpClient.reset();
}

void TFormMenu::FormShow() { Abesn1->setEnabled(fb::fileExists(fb::answerFileName(0))); }

void TFormMenu::FormResize() {
    const int cw = clientWidth();
    menumemo->resize(cw - menumemo->x(), clientHeight());
}

void TFormMenu::Exit1Click() { close(); }

void TFormMenu::closeEvent(QCloseEvent* e) {
    if (!isEnabled()) {
        e->ignore(); // a page or the send dialog is open
        return;
    }
    Form::closeEvent(e);
}

void TFormMenu::Hilfe1Click() {
    FormHilfe->show();
    FormHilfe->raise();
    FormHilfe->activateWindow();
}

bool TFormMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseMove)
        fb::guarded([this] { Image1MouseMove(); });
    return Form::eventFilter(watched, event);
}

void TFormMenu::Image1MouseMove() {
    if (random_.next() <= 0.005) {
        LoadResourceFile("psizwin.bmp", *ResourceStream);
        const std::string& bmp = ResourceStream->bytes();
        Image1->setImage(QImage::fromData(reinterpret_cast<const uchar*>(bmp.data()),
                                          static_cast<int>(bmp.size()), "BMP"));
        Timer1->setOnTimer([this] { Timer1Timer(); });
    }
}

void TFormMenu::Timer1Timer() {
    Image1->setImage(*SavedLogo);
    Timer1->setOnTimer(nullptr);
}

void TFormMenu::laufzeitClick() {
    if (fb::informationBox("Die Laufzeit dieser Studie ist m\xF6glicherweise abgelaufen.\r\n"
                           "Das Programm wird versuchen, eine Verbindung zum Server aufzubauen, um das zu "
                           "\xFC" "berpr\xFC" "fen.\r\n"
                           "Wollen Sie diese Abfrage jetzt durchf\xFChren?",
                           fb::BoxButtons::OkCancel) != fb::BoxAnswer::Ok)
        return;
    fb::showStatusMessage(fb::queryStudyStatus(*HttpClient, StudyServerHost), StudyWebAddress, true);
}

void TFormMenu::Abesn1Click() {
    setEnabled(false);
    const fb::StudyStatus status = fb::queryStudyStatus(*HttpClient, StudyServerHost);
    if (status == fb::StudyStatus::Running) {
        FormSenden->show(); // it enables this window again when it is left
        return;
    }
    fb::showStatusMessage(status, StudyWebAddress, false);
    setEnabled(true);
}

// ------------------------------------------------------------ questionnaire

void TFormMenu::NeuerBogen1Click() {
    if (ProgressSaved) {
        if (fb::warningBox("Wenn Sie einen neuen Bogen beginnen, gehen die bereits gegebenen Antworten "
                           "verloren. Trotzdem weiter?",
                           fb::BoxButtons::OkCancel) != fb::BoxAnswer::Ok)
            return;
        AnswerData->clear();
        menumemo->appendLine(
            "Gespeicherte Daten werden nach dem Speichern der ersten Seite des neuen Bogens verworfen.");
        ProgressSaved = false;
        setContinueEnabled(false);
    }
    menumemo->appendLine("Neuer Bogen begonnen.");
    Fortfahren1Click();
}

void TFormMenu::Fortfahren1Click() {
    if (menumemo->lastLine() == "Bereit.")
        menumemo->appendLine("Setze den begonnenen Fragebogen fort.");
    FormFragen->show();
    setEnabled(false);
    fb::PageBuildContext ctx{*FormFragen, *PictureImage,
                             [this](const std::string& name) {
                                 LoadResourceFile(name, *ResourceStream);
                                 return ResourceStream->bytes();
                             },
                             [this](fb::CheckBox* box) { pruefeDoppelte(box); }};
    try {
        Page.PageName = fb::choosePageName(*ScriptLines, *AnswerData);
        const fb::PageLocation loc = fb::lookupPage(*ScriptLines, Page.PageName);
        Page.PageNumber = loc.pageNumber;
        FormFragen->setCaption("Seite " + std::to_string(Page.PageNumber) + " von " +
                               std::to_string(PageCount) + ".");
        fb::showProgress(*FormFragen, Page.PageNumber, PageCount);
        FormFragen->scrollToTop();
        const int y = fb::buildPageItems(Page, *ScriptLines, loc.start, ctx);
        fb::placeButtons(Page, ctx, y);
        fb::attachRowKeys(Page, ctx.onScaleClick);
        FormFragen->SpeichernButton->setEnabled(true);
    } catch (...) {
        // A broken page offers only the way back: "Abbrechen" keeps every
        // recorded answer, and its marker still names this page.
        fb::teardownPage(Page, *PictureImage);
        FormFragen->SpeichernButton->setEnabled(false);
        fb::placeButtons(Page, ctx, 45);
        throw;
    }
}

void TFormMenu::WeiterClick() {
    if (!fb::pageComplete(Page)) {
        fb::warningBox("Bitte alle Eingabefelder ausf\xFCllen.");
        fb::markMissingAnswers(Page, *FormFragen);
        return;
    }
    // Taken before AnswerData changes: a page that cannot be recorded
    // leaves it (and its marker) as it was.
    std::vector<std::string> lines = fb::answerLines(Page);
    const std::vector<std::string> before = *AnswerData;
    if (AnswerData->empty())
        AnswerData->push_back(headerLine());
    else
        AnswerData->pop_back();
    for (std::string& line : lines)
        AnswerData->push_back(std::move(line));
    if (auto marker = fb::resumeMarker(*ScriptLines, Page.ScriptCursor)) {
        AnswerData->push_back(*marker);
        AbbruchClick(FormFragen->SpeichernButton);
        return;
    }
    try {
        AbbruchClick(FormFragen);
    } catch (const fb::EFileError&) {
        // Nothing was written: the page stays open and "Speichern" or
        // "Abbrechen" can be pressed again with the answers as they were.
        *AnswerData = before;
        throw;
    }
}

void TFormMenu::AbbruchClick(QObject* Sender) {
    if (Sender == FormFragen->AbbrechenButton) {
        if (AnswerData->empty()) {
            fb::teardownPage(Page, *PictureImage);
            menumemo->appendLine("Eingabe abgebrochen.");
        } else {
            // Written before the page goes, so a failed write leaves it open.
            fb::writeLineFile(fb::kProgressFile, *AnswerData);
            fb::teardownPage(Page, *PictureImage);
            ProgressSaved = true;
            setContinueEnabled(true);
            menumemo->appendLine("Fragebogen gesichert. W\xE4hlen Sie 'Weitermachen' um fortzusetzen.");
        }
        menumemo->appendLine("Bereit.");
        FormFragen->hide();
        setEnabled(true);
        show();
        return;
    }
    if (Sender == FormFragen) {
        finishQuestionnaire();
        return;
    }
    fb::teardownPage(Page, *PictureImage);
    Fortfahren1Click();
}

void TFormMenu::finishQuestionnaire() {
    const int number = fb::writeAnswerFile(*AnswerData);
    fb::teardownPage(Page, *PictureImage);
    const std::string name = fb::answerFileName(number);
    AnswerData->assign(1, fb::joinAnswers(*AnswerData));
    FormSenden->Dateiname->setCaption(name);
    fb::deleteFile(fb::kProgressFile);
    setContinueEnabled(false);
    ProgressSaved = false;
    menumemo->appendLine("Bogen beendet. Bereit zum Senden.");
    FormFragen->hide();
    AnswerData->clear();
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d", number);
    fb::plainBox(std::string("Sie haben alle Fragen beantwortet. Ihre Antworten wurden in der Datei ") + digits +
                 ".BGN gespeichert.\r\n\r\n" +
                 "Wenn Sie eine aktive Internet-Verbindung haben, k\xF6nnen Sie den Bogen " +
                 "mittels des folgenden Dialogs direkt an unseren Server einsenden. Sie k\xF6nnen dies auch zu " +
                 "einem sp\xE4teren Zeitpunkt tun, oder die Datei als Email-Attachment an " +
                 utf8ToCp1252(fb::config::ContactAddress) + " senden.");
    FormSenden->show();
}

void TFormMenu::pruefeDoppelte(fb::CheckBox* Sender) {
    fb::keepOneBoxPerRow(Page, Sender, [this](fb::CheckBox* box) { pruefeDoppelte(box); });
}

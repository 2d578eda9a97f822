// Drives the packaged program through one whole questionnaire for the smoke
// run under Wine. Qt loads it as a generic plugin into the unchanged program;
// it knows only Qt's widgets and the windows' object names: it answers every
// message box with OK, starts a new questionnaire, fills and saves every page,
// sends the answer file and closes the program. Each step is a line in
// FB_DRIVER_DIR/driver.log; before the steps the smoke run photographs
// ("menu", "page", "send") it waits until FB_DRIVER_DIR/go-<step> exists.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGenericPlugin>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <functional>

#include <windows.h>

namespace {

class Driver : public QObject {
public:
    Driver() {
        dir_ = QDir::fromNativeSeparators(qEnvironmentVariable("FB_DRIVER_DIR"));
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { tick(); });
        timer->start(100);
    }

private:
    void log(const QString& line) {
        QFile f(dir_.isEmpty() ? QString() : dir_ + "/driver.log");
        if (!dir_.isEmpty() && f.open(QIODevice::Append))
            f.write(line.toUtf8() + "\n");
        else
            qWarning("fbdriver: %s", qPrintable(line));
    }

    // True once the smoke run has let this step go on.
    bool released(const QString& step) {
        if (dir_.isEmpty() || QFile::exists(dir_ + "/go-" + step))
            return true;
        if (waiting_ != step)
            log("wait " + step);
        waiting_ = step;
        return false;
    }

    // The window's Win32 style, once per window: its frame and caption
    // buttons as Windows draws them (a window manager under Wine may not).
    void logStyle(const char* step, QWidget* w) {
        if (styled_.contains(step))
            return;
        styled_.insert(step);
        const auto style = static_cast<qulonglong>(GetWindowLongPtrW(reinterpret_cast<HWND>(w->winId()), GWL_STYLE));
        log(QString("style %1 %2").arg(step).arg(style, 8, 16, QChar('0')));
    }

    static QWidget* window(const char* name) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name && w->isVisible())
                return w;
        return nullptr;
    }

    // Runs an action after this tick: an action that opens a modal box
    // waits in the box's event loop, where only the timer's next ticks can
    // answer the box, and Qt does not run a timer again before its last run
    // has returned.
    void later(std::function<void()> action) {
        busy_ = true;
        QTimer::singleShot(0, this, [this, action] {
            action();
            busy_ = false;
        });
    }

    void tick() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                QString details = box->detailedText();
                if (!details.isEmpty())
                    details = " [" + details.replace('\n', ' ').remove('\r') + "]";
                log("box " + box->windowTitle() + ": " + box->text().replace('\n', ' ').remove('\r') + details);
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == "OK") {
                        b->click();
                        return;
                    }
                log("error: box without OK");
                box->close();
                return;
            }
        if (busy_ || finished_)
            return;
        if (QWidget* send = window("FormSenden")) {
            logStyle("send", send);
            if (sent_ || !released("send"))
                return;
            const auto* file = send->findChild<QLineEdit*>("Dateiname");
            const auto* name = send->findChild<QLabel*>("NameLabel");
            log("send " + (file ? file->text() : "?") + " of " + (name ? name->text() : "?"));
            sent_ = true;
            later([send] { send->findChild<QPushButton*>("Button1")->click(); });
        } else if (QWidget* page = window("FormFragen")) {
            logStyle("page", page);
            if (filled_ != page->windowTitle()) {
                fill(*page);
                filled_ = page->windowTitle();
                log("page " + filled_);
            }
            if (pages_ == 0 && !released("page"))
                return;
            if (++pages_ > 200) {
                log("error: more than 200 pages");
                finished_ = true;
                return;
            }
            later([page] { page->findChild<QPushButton*>("SpeichernButton")->click(); });
        } else if (QWidget* menu = window("FormMenu"); menu && menu->isEnabled()) {
            if (sent_) {
                log("done");
                finished_ = true;
                later([menu] { menu->close(); });
            } else if (!started_ && released("menu")) {
                log("start");
                started_ = true;
                later([menu] { menu->findChild<QPushButton*>("Button1")->click(); });
            }
        }
    }

    // Answers every control of the page: the last choice of each radio group
    // and scale row (clicking all leaves the last), an entry of each list,
    // a text with umlauts in each field.
    void fill(QWidget& page) {
        for (QLineEdit* e : page.findChildren<QLineEdit*>()) {
            if (!e->isVisible() || e->isReadOnly())
                continue;
            const QString what = e->accessibleName();
            e->setText(what.contains("Nachname") ? QString::fromUtf8("J\u00fcrgen M\u00fcller")
                       : what.contains("Mail")   ? QString("juergen.mueller@example.org")
                                                 : QString::fromUtf8("Gr\u00fc\u00dfe aus K\u00f6ln"));
        }
        for (QRadioButton* r : page.findChildren<QRadioButton*>())
            if (r->isVisible() && r->isEnabled())
                r->click();
        for (QListWidget* l : page.findChildren<QListWidget*>()) {
            if (!l->isVisible() || l->count() == 0)
                continue;
            if (l->selectionMode() == QAbstractItemView::SingleSelection)
                l->setCurrentRow(l->count() - 1);
            else
                l->item(0)->setSelected(true);
        }
        for (QCheckBox* c : page.findChildren<QCheckBox*>())
            if (c->isVisible() && c->isEnabled())
                c->click();
    }

    QString dir_;
    QString waiting_;
    QString filled_;
    QSet<QString> styled_;
    bool busy_ = false;
    int pages_ = 0;
    bool started_ = false;
    bool sent_ = false;
    bool finished_ = false;
};

class DriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "fbdriver.json")

public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare("fbdriver", Qt::CaseInsensitive) == 0 ? new Driver : nullptr;
    }
};

} // namespace

#include "driver.moc"

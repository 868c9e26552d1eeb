// Start-up, language switch, console and help menu of the main window.

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QMenu>
#include <QStatusBar>
#include <QTabBar>
#include <QStandardItemModel>

#include <functional>

#include "booksettings.h"
#include "countertext.h"
#include "devicebookkeeper.h"
#include "bookeventtext.h"
#include "bookwindowmodule.h"
#include "documentation.h"
#include "filehooks.h"
#include "messageboxes.h"
#include "messagecatalogue.h"
#include "outputlog.h"
#include "parametertableview.h"
#include "platform.h"
#include "tavik7_bediensoftware.h"
#include "textpanes.h"
#include "texttable.h"

namespace {

// Runs a step once, queued behind the widget's first paint: the frame then
// reaches the screen before the step takes the GUI thread.
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(QWidget *widget, std::function<void()> step)
        : QObject(widget)
        , step(std::move(step))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [this] {
                    step();
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> step;
};

} // namespace

void registerTavik7Resources()
{
    Q_INIT_RESOURCE(tavik7);
}

TAVIK7_Bediensoftware::TAVIK7_Bediensoftware(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    ui.setupUi(this);
    // The program's, so that every box and window without an icon of its own wears it.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Images/klvicon.ico")));
    ui.lineEditCounter2->installEventFilter(this);

    appDataFolder = tavik7::platform::appDataFolder();
    tavik7::platform::ensureAppDataFolder(appDataFolder);
    parameterModel = new QStandardItemModel(tavik7::kParameterFieldCount, 2, this);
    language = tavik7::German;
    showMessage(tavik7::MessageId::Start, false);

    setUpEngines();
    connectMenus();
    connectDeviceButtons();
    // The service line's one setting each is the form's; parity and flow
    // control get their texts from the language switch.
    refreshPortList();
    applyAvailability();
    styleFirstFrame();
    setupParameterTable();

    emit setLanguage();

    ui.textEditConsoleNamur->ensureCursorVisible();
    ui.textEditConsole->ensureCursorVisible();
    connectTableChecks();
    setOutputFont();
    showWizardStep(1);
    new AfterFirstPaint(this, [this] { styleAllPages(); });
    connect(ui.tabWidget, &QTabWidget::currentChanged, this, &TAVIK7_Bediensoftware::styleAllPages);
}

void TAVIK7_Bediensoftware::styleFirstFrame()
{
    // Styling a page costs a millisecond or more for each combo box on it,
    // which builds its popup list as the style arrives. The first frame shows
    // only the tab bar and the first page: they are styled at once, the other
    // pages once that frame is painted.
    const QString sheet = tavik7::panes::pageStyleSheet();
    for (QWidget *widget : std::initializer_list<QWidget *>{ui.tabWidget->tabBar(), ui.tabConfig})
        widget->setStyleSheet(sheet);
}

void TAVIK7_Bediensoftware::styleAllPages()
{
    const QString sheet = tavik7::panes::pageStyleSheet();
    for (int page = 0; page < ui.tabWidget->count(); ++page) {
        if (ui.tabWidget->widget(page)->styleSheet().isEmpty())
            ui.tabWidget->widget(page)->setStyleSheet(sheet);
    }
}

void TAVIK7_Bediensoftware::setUpEngines()
{
    deviceLink = new tavik7::DeviceLink(this);
    // Told of each reply's end by the window before the window reports it.
    auto *keeper = tavik7::book::makeWindowKeeper(deviceLink, this);
    connect(this, &TAVIK7_Bediensoftware::setLanguage, keeper, [this, keeper] { keeper->setLanguage(language); });
    connect(keeper, &tavik7::book::DeviceBookKeeper::recorded, this, [this] { tavik7::bookwindow::refresh(this); });
    connect(keeper, &tavik7::book::DeviceBookKeeper::missed, this, [this] { tavik7::bookwindow::refresh(this, false); });
    // After the action's own line, which may start the console afresh.
    connect(keeper, &tavik7::book::DeviceBookKeeper::bookNoticeWords, this,
            [this](const QString &german, const QString &english) {
                showMessage({tavik7::MessageId::NoteDeviceBook, {german, english}}, true, Qt::red);
            }, Qt::QueuedConnection);
    // Every acknowledged write of every reply the link hands out, the wizard's too.
    changeRecorder = new tavik7::ChangeRecorder(
        deviceLink, appDataFolder + QLatin1String(tavik7::kChangeHistoryFileName), this);
    connect(changeRecorder, &tavik7::ChangeRecorder::historyUnwritable, this,
            [this](const QString &path) { appendConsoleNote({tavik7::MessageId::NoteHistoryUnwritable, {path}}); });
    connectDeviceLink();
    setUpNamurListener();
    setUpFlashRun();
    setUpWizardFlow();
    portEnumerator = new PortEnumerator(this);
    portEnumerator->setUpNotifications();
    connect(portEnumerator, &PortEnumerator::deviceDiscovered, this, &TAVIK7_Bediensoftware::onDeviceDiscovered);
    connect(portEnumerator, &PortEnumerator::deviceRemoved, this, &TAVIK7_Bediensoftware::onDeviceRemoved);
    new AfterFirstPaint(this, [this] { portEnumerator->scan(); });
}

// The face the style sheet "font: bold 14px;" gives, set as a font: as a
// style sheet it had the console, its scroll bars and viewport styled and
// cached one by one before the first frame, for the same pixels. Neither
// widget lies on a styled page, so no page rule overrides the font.
void TAVIK7_Bediensoftware::setOutputFont()
{
    for (QWidget *output : std::initializer_list<QWidget *>{ui.labelOutput, ui.textEditOutput}) {
        QFont bold = output->font();
        bold.setBold(true);
        bold.setPixelSize(14);
        output->setFont(bold);
    }
}

QMessageBox &TAVIK7_Bediensoftware::noticeBox()
{
    if (!messageBox) {
        messageBox = new QMessageBox(this);
        messageBox->setStyleSheet(QString::fromLatin1(tavik7::boxes::kNoticeStyleSheet));
    }
    return *messageBox;
}

void TAVIK7_Bediensoftware::connectMenus()
{
    // The plain wiring of buttons, menus and the window's own signals is the form's.
    connect(ui.actionDeviceBook, &QAction::triggered, this, [this] { tavik7::bookwindow::show(this, language); });
    // Off by default and remembered across runs.
    ui.actionReviewBeforeWriting->setChecked(tavik7::platform::reviewBeforeWriting());
    connect(ui.actionReviewBeforeWriting, &QAction::toggled, this, &tavik7::platform::rememberReviewBeforeWriting);
    connect(this, &TAVIK7_Bediensoftware::setLanguage, this, &TAVIK7_Bediensoftware::onSetLanguage);
}

void TAVIK7_Bediensoftware::connectDeviceButtons()
{
    // The three buttons that start with a parameter read, each with its sequence.
    const std::pair<QPushButton *, int> reads[] = {
        {ui.pushButtonReadSettings, 0},
        {ui.pushButtonWriteSettings, 2},
        {ui.pushButtonCreatePdf, 5},
    };
    for (const auto &[button, mode] : reads)
        connect(button, &QPushButton::clicked, this, [this, mode = mode] { onReadSettingsClicked(mode); });
}

void TAVIK7_Bediensoftware::connectTableChecks()
{
    // Connected only now, so the initial fill of the table runs no checks.
    connect(parameterModel, &QStandardItemModel::dataChanged, this, &TAVIK7_Bediensoftware::onTableDataChanged);
    connect(parameterTable->combo(tavik7::FieldSignificance), &QComboBox::currentIndexChanged, this,
            &TAVIK7_Bediensoftware::onSignificanceCbChanged);
    connect(parameterTable->check(tavik7::FieldLeadingPlus), &QCheckBox::stateChanged, this,
            &TAVIK7_Bediensoftware::onLeadingPlusCheckBoxStateChanged);
}

TAVIK7_Bediensoftware::~TAVIK7_Bediensoftware()
{
    // Gone before the widgets: a cell editor still open hands its text to the
    // model as it loses focus, and no check may run on a half-destroyed window.
    delete parameterModel;
    parameterModel = nullptr;
    // The engines go while the window they report to is still whole: a tool
    // still running is killed, a log still open gets its last lines.
    delete flashRun;
    delete namurListener;
    delete changeRecorder;
    delete deviceLink;
}

void TAVIK7_Bediensoftware::closeEvent(QCloseEvent *event)
{
    if (!deviceLink->writeOnTheWire()) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The window stays until the sequence ends, by the device's answer or
    // its time-out, whose end is said and booked as any other. Asked once,
    // however often the close is asked for.
    event->ignore();
    statusBar()->showMessage(tavik7::catalogueText(tavik7::MessageId::NoteClosingAfterWrite, language));
    connect(deviceLink, &tavik7::DeviceLink::writesEnded, this, &QWidget::close,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection | Qt::SingleShotConnection));
}

void TAVIK7_Bediensoftware::updateWindowTitle(bool connectTried)
{
    setWindowTitle(tavik7::windowTitle(connectTried || deviceLink->isOpen(), portNameInUse, language));
}

QString TAVIK7_Bediensoftware::textFor(int textId) const
{
    return tavik7::text(textId, language);
}

QString TAVIK7_Bediensoftware::textFor(tavik7::MessageId id) const
{
    return tavik7::catalogueText(id, language);
}

void TAVIK7_Bediensoftware::showMessage(const tavik7::ConsoleEntry &entry, bool append, const QColor &colour)
{
    const QString line = tavik7::consoleLine(QDateTime::currentDateTime(), tavik7::renderEntry(entry, language));
    tavik7::panes::writeLine(ui.textEditOutput, line, append, colour);
    if (append) {
        ui.textEditOutput->ensureCursorVisible();
        messageHistory.append(entry);
    } else {
        messageHistory.replaceWith(entry);
    }
    if (entry.id != tavik7::MessageId::None)
        appendToOutputLog(line);
}

void TAVIK7_Bediensoftware::appendToOutputLog(const QString &line)
{
    tavik7::appendToOutputLog(appDataFolder + QStringLiteral("Tavik7_Output_Logfile1.txt"),
                              appDataFolder + QStringLiteral("Tavik7_Output_Logfile2.txt"), line);
}

void TAVIK7_Bediensoftware::onGermanChecked()
{
    language = tavik7::German;
    emit setLanguage();
}

void TAVIK7_Bediensoftware::onEnglishChecked()
{
    language = tavik7::English;
    emit setLanguage();
}

void TAVIK7_Bediensoftware::onSetLanguage()
{
    changeRecorder->setLanguage(language);
    // Rewriting the table must not run the cell checks.
    const bool wasBlocked = parameterModel->blockSignals(true);

    setLanguageOfCaptions();
    setLanguageOfItems();
    updateWindowTitle();

    // Shown anew, the fields the service key opened are closed again.
    sheet.lockService();
    fillParameterTable();
    renderConsoleFromHistory();

    parameterModel->blockSignals(wasBlocked);
}

void TAVIK7_Bediensoftware::setLanguageOfCaptions()
{
    // The form gives each fixed caption its TextId: a menu takes the text as
    // its title, a tab page as its tab's text, a list of fixed items one text
    // each from there on, the rest as their text. Found first, then set: a
    // label's new text may delete helpers of its own that the search would
    // have listed.
    QList<QObject *> captions = findChildren<QObject *>();
    captions.removeIf([](const QObject *object) { return !object->property("textId").isValid(); });
    for (QObject *object : std::as_const(captions)) {
        const int textId = object->property("textId").toInt();
        auto *list = qobject_cast<QComboBox *>(object);
        for (int item = 0; list && item < list->count(); ++item)
            list->setItemText(item, textFor(textId + item));
        if (const int tab = ui.tabWidget->indexOf(qobject_cast<QWidget *>(object)); tab >= 0)
            ui.tabWidget->setTabText(tab, textFor(textId));
        else if (!list)
            object->setProperty(qobject_cast<QMenu *>(object) ? "title" : "text", textFor(textId));
    }
}

void TAVIK7_Bediensoftware::setLanguageOfItems()
{
    ui.actionGerman->setChecked(language == tavik7::German);
    ui.actionEnglish->setChecked(language == tavik7::English);
    ui.menuExtras->setTitle(tavik7::book::bookText(tavik7::book::BookText::MenuTitle, language));
    ui.actionDeviceBook->setText(tavik7::book::bookText(tavik7::book::BookText::MenuEntry, language));
    ui.actionReviewBeforeWriting->setText(textFor(tavik7::MessageId::PlanMenuEntry));
    tavik7::bookwindow::setLanguage(this, language);
    ui.labelCounterHint->setText(textFor(tavik7::counterHintTextId(sheet.record().softwareVersion)));
    // The combo, not the record: a significance chosen but not yet written
    // keeps its multiplier.
    showMultiplier(parameterTable->combo(tavik7::FieldSignificance)->currentIndex());
}

void TAVIK7_Bediensoftware::renderConsoleFromHistory()
{
    // Every line carries the time of the switch; nothing is logged again.
    const QStringList lines = messageHistory.lines(QDateTime::currentDateTime(), language);
    for (int i = 0; i < lines.size(); ++i)
        tavik7::panes::writeLine(ui.textEditOutput, lines.at(i), i > 0);
}

// The manuals open in the system's viewer; where they lie is the platform's lookup.
void TAVIK7_Bediensoftware::onDocuQuickGuideChecked()
{
    tavik7::openInViewer(tavik7::platform::manualPath(tavik7::platform::Manual::QuickGuide));
}

void TAVIK7_Bediensoftware::onDocuManualChecked()
{
    tavik7::openInViewer(tavik7::platform::manualPath(tavik7::platform::Manual::UserManual));
}

void TAVIK7_Bediensoftware::onDocuProgrammerManualChecked()
{
    tavik7::openInViewer(tavik7::platform::manualPath(tavik7::platform::Manual::ProgrammerManual));
}

void TAVIK7_Bediensoftware::onInfoChecked()
{
    const QString text = QStringLiteral("Tavik7 PC Software Version: " TAVIK7_VERSION
                                        "\n\nService software for the Tavik7, made by KLV.");
    QMessageBox box;
    tavik7::boxes::inform(box, text);
}

#include "main_window/AuthorizationLockView.h"

#include "auth/AuthorizationController.h"
#include "auth/TouchIdAction.h"
#include "background/WaitTask.h"
#include "classifier/MyModel.h"
#include "documents/OpenText.h"
#include "documents/SaveText.h"
#include "main_window/FingerprintGatePage.h"
#include "main_window/LockGatePage.h"
#include "main_window/PageColumn.h"
#include "main_window/PreferenceKeys.h"
#include "main_window/SampleTableModel.h"
#include "main_window/SampleTables.h"
#include "main_window/StorageWarning.h"
#include "main_window/WorkAreaPage.h"
#include "platform/core/PreferenceStore.h"
#include "platform/widgets/Announcer.h"
#include "tabs/WindowAccessor.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

AuthorizationLockView::AuthorizationLockView(AppServices services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services)),
      m_auth(m_services.makeAuthorization ? m_services.makeAuthorization()
                                          : std::make_unique<AuthorizationController>()),
      m_authMessage(tr("Touch IDで認証してください")),
      m_dateTime(QDateTime::currentDateTime()),
      m_people(new SampleTableModel(this)),
      m_sp2(m_services.store->integer(PreferenceKeys::intKeyToggle2)),
      m_sp3(m_services.store->integer(PreferenceKeys::intKeyToggle3)),
      m_text(u"General"_s),
      m_tabs(m_services.windows),
      m_model(m_services.makeModel),
      m_touchId(new TouchIdAction(m_services.localAuthentication, this))
{
    connect(m_touchId, &TouchIdAction::answered, this, &AuthorizationLockView::applyTouchIdResult);
    setMinimumSize(100, 100);
    setMaximumSize(450, 800);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    // Shown only while the note cannot be stored.
    outer->addWidget(new StorageWarning(*m_services.store, this));
    m_column = new PageColumn(this);
    outer->addWidget(m_column);
    QLabel *heading = m_column->addLine(u"heading"_s, tr("Yumekazu Tabs"));
    new WindowAccessor([this](HostWindow *window) { accessorCallback(window); }, heading);
    m_animalLine = m_column->addLine(u"animalLine"_s);
    m_lockGate = new LockGatePage(m_column->pageParent());
    connect(m_lockGate, &LockGatePage::lockClicked, this, &AuthorizationLockView::lockAction);
    m_column->addPage(m_lockGate);

    refresh();
}

AuthorizationLockView::~AuthorizationLockView() = default;

HostWindow *AuthorizationLockView::hostWindow() const { return m_tabs.window(); }
const QList<Person> &AuthorizationLockView::people(int number) const { return m_people->people(number); }
const MyModel *AuthorizationLockView::model() const { return m_model.model(); }

QString AuthorizationLockView::uString() const { return m_services.store->string(PreferenceKeys::stringKey, QString()); }
void AuthorizationLockView::setUString(const QString &value) { m_services.store->setString(PreferenceKeys::stringKey, value); }
void AuthorizationLockView::setBunreiString(const QString &value) { m_services.store->setString(PreferenceKeys::bunreiKey, value); }

QString AuthorizationLockView::bunreiString() const
{
    return m_services.store->string(PreferenceKeys::bunreiKey, PreferenceKeys::sampleParagraph);
}

void AuthorizationLockView::setSp1(int value) { m_sp1 = value; refresh(); }
void AuthorizationLockView::setSp2(int value) { m_sp2 = value; refresh(); }
void AuthorizationLockView::setSp3(int value) { m_sp3 = value; refresh(); }
void AuthorizationLockView::setText(const QString &value) { m_text = value; }
void AuthorizationLockView::setDateTime(const QDateTime &value) { m_dateTime = value; refresh(); }

// The lock gate: the administrator's authorization unlocks this window only.
void AuthorizationLockView::lockAction()
{
    if (m_auth->isRequesting())
        return;
    m_lockObstacle.clear();
    refresh();
    m_lockGate->setAsking(true);
    const QPointer<AuthorizationLockView> self(this);
    const bool granted = m_auth->requestAuthorization();
    if (!self)
        return;
    m_unlocked = m_unlocked || granted;
    m_lockObstacle = granted ? QString() : AuthorizationController::describe(m_auth->obstacle());
    refresh();
    m_lockGate->setAsking(false);
}

void AuthorizationLockView::authenticateWithTouchID() { m_touchId->start(this); }

void AuthorizationLockView::applyTouchIdResult(const TouchIdResult &result)
{
    if (result.kind != TouchIdResult::Kind::CannotAsk) {
        m_isAuthenticated = result.kind == TouchIdResult::Kind::Matched;
        m_authMessage = m_isAuthenticated ? tr("Touch IDで認証できました") : TouchIdAction::failedText();
        m_unlockContent = m_unlockContent || m_isAuthenticated;
    }
    if (result.kind != TouchIdResult::Kind::Matched) {
        m_alertMessage = result.alert;
        m_showAlert = true;
    }
    refresh();
}

void AuthorizationLockView::dismissAlert() { m_showAlert = false; refresh(); }

void AuthorizationLockView::openText()
{
    setSp1(m_services.store->integer(PreferenceKeys::intKeyToggle1));
    setSp2(m_services.store->integer(PreferenceKeys::intKeyToggle2));
    if (!m_services.panels)
        return;
    if (const auto text = chooseTextToOpen(m_sp1, *m_services.panels, this))
        setUString(*text);
}

void AuthorizationLockView::saveText()
{
    if (!m_services.panels)
        return;
    const QPointer<AuthorizationLockView> self(this);
    (void)saveTextWithPanel(*m_services.panels, this, [self] { return self ? self->uString() : QString(); });
}

void AuthorizationLockView::predict()
{
    // Offered by the work area only, which shows what it finds.
    if (!m_workArea)
        return;
    const MyModel *const classifier = model();
    if (!classifier) {
        m_workArea->reportModelMissing();
        return;
    }
    // A failed classification keeps the last result.
    if (const auto output = classifier->prediction(MyModelInput(uString()))) {
        m_result = output->label();
        refresh();
        m_workArea->announceResult();
    }
}

void AuthorizationLockView::saveButton()
{
    // Nothing stored yet: leave the note as it is rather than store an empty one.
    if (const auto stored = m_services.store->string(PreferenceKeys::stringKey))
        setUString(*stored);
}

void AuthorizationLockView::startWaitTask()
{
    setText(u"スレッド"_s);
    new WaitTask(m_services.waitInterval, [this](const QString &result) { setText(result); }, this);
}

void AuthorizationLockView::advancePeopleNum() { m_peopleNum = SampleTables::nextPeopleNum(m_peopleNum); refresh(); }

void AuthorizationLockView::reloadModel()
{
    if (m_services.reloadModel)
        m_services.reloadModel();
}

void AuthorizationLockView::accessorCallback(HostWindow *window)
{
    if (const auto count = m_tabs.hostedBy(window)) {
        m_winIndex = *count;
        refresh();
    }
}

void AuthorizationLockView::addNewTab() { m_tabs.addNewTab(); }

void AuthorizationLockView::selectTab(int index)
{
    setSp2(m_services.store->integer(PreferenceKeys::intKeyToggle2));
    if (m_tabs.selectTab(index)) {
        m_winIndex = index;
        refresh();
    }
}

void AuthorizationLockView::closeEvent(QCloseEvent *event)
{
    // A pending authorization must not outlive the window that asked for it.
    m_auth->cancel();
    m_touchId->cancel();
    event->accept();
}

void AuthorizationLockView::buildWorkArea()
{
    m_workArea = new WorkAreaPage(m_services.store, m_people, m_fingerprintGate);
    const WorkAreaPage *work = m_workArea;
    connect(work, &WorkAreaPage::dateTimeChosen, this, &AuthorizationLockView::setDateTime);
    connect(work, &WorkAreaPage::saveClicked, this, &AuthorizationLockView::saveButton);
    connect(work, &WorkAreaPage::threadClicked, this, &AuthorizationLockView::startWaitTask);
    connect(work, &WorkAreaPage::openClicked, this, &AuthorizationLockView::openText);
    connect(work, &WorkAreaPage::changeClicked, this, &AuthorizationLockView::advancePeopleNum);
    connect(work, &WorkAreaPage::predictClicked, this, &AuthorizationLockView::predict);
    connect(work, &WorkAreaPage::reloadClicked, this, &AuthorizationLockView::reloadModel);
    connect(work, &WorkAreaPage::announcement, this, &AuthorizationLockView::announce);
    // The work area is coming on screen.
    m_model.start();
    // The startup paragraph rule: the note starts as the stored paragraph.
    if (m_sp3 == 1)
        setUString(bunreiString());
    m_fingerprintGate->addWorkArea(m_workArea);
}

void AuthorizationLockView::announce(const QString &text) { Announcer::announce(this, text); }

void AuthorizationLockView::refresh()
{
    m_animalLine->setVisible(m_sp2 == 1);
    m_animalLine->setText(u"🐱🐤"_s + QString::number(m_winIndex));
    m_lockGate->setVisible(!m_unlocked);
    m_lockGate->showObstacle(m_lockObstacle);
    if (!m_unlocked)
        return;
    const bool unlocking = !m_fingerprintGate;
    if (unlocking) {
        m_fingerprintGate = new FingerprintGatePage(m_column->pageParent());
        connect(m_fingerprintGate, &FingerprintGatePage::touchIdClicked, this, &AuthorizationLockView::authenticateWithTouchID);
        connect(m_fingerprintGate, &FingerprintGatePage::alertDismissed, this, &AuthorizationLockView::dismissAlert);
        connect(m_fingerprintGate, &FingerprintGatePage::announcement, this, &AuthorizationLockView::announce);
        m_column->addPage(m_fingerprintGate);
    }
    m_fingerprintGate->showState(m_isAuthenticated, m_authMessage, !m_unlockContent);
    if (unlocking)
        m_fingerprintGate->present();
    if (m_unlockContent && !m_workArea)
        buildWorkArea();
    if (m_workArea)
        m_workArea->showState(m_dateTime, m_people->show(m_peopleNum), m_result);
    m_fingerprintGate->showAlert(m_showAlert, m_alertMessage);
}

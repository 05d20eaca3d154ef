#include "main_window/AuthorizationLockView.h"

#include "auth/AuthorizationController.h"
#include "background/WaitTask.h"
#include "classifier/MyModel.h"
#include "documents/OpenText.h"
#include "documents/SaveText.h"
#include "main_window/FlowLayout.h"
#include "main_window/NoteEditor.h"
#include "main_window/PreferenceKeys.h"
#include "main_window/SampleTables.h"
#include "main_window/StorageWarning.h"
#include "platform/core/PreferenceStore.h"
#include "platform/localauth/LAContext.h"
#include "platform/widgets/WrappingLabel.h"
#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"
#include "platform/windowing/WindowSystem.h"
#include "tabs/WindowAccessor.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrentRun>

#include <iostream>

using namespace Qt::StringLiterals;

namespace {

QFont titleFont(const QWidget *widget)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    return font;
}

const QString lockObstacleName = u"lockObstacle"_s;

// The line under the lock is a notification to assistive technology: a
// screen reader reads it out as it comes on screen, wherever the focus is.
QAccessibleInterface *accessibleLockObstacle(const QString &, QObject *object)
{
    if (!object->isWidgetType() || object->objectName() != lockObstacleName)
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
}

} // namespace

AuthorizationLockView::AuthorizationLockView(MainViewServices services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services)),
      m_auth(m_services.makeAuthorization ? m_services.makeAuthorization()
                                          : std::make_unique<AuthorizationController>()),
      m_authMessage(tr("Touch IDで認証してください")),
      m_dateTime(QDateTime::currentDateTime()),
      m_people1(SampleTables::people1()), m_people2(SampleTables::people2()),
      m_people3(SampleTables::people3()), m_people4(SampleTables::people4()),
      m_people5(SampleTables::people5()),
      m_sp2(m_services.store->integer(PreferenceKeys::intKeyToggle2)),
      m_sp3(m_services.store->integer(PreferenceKeys::intKeyToggle3)),
      m_text(u"General"_s)
{
    // Reading the model would hold back the first paint; nothing needs it
    // before the gates are passed.
    if (m_services.makeModel) {
        m_modelLoad = QtConcurrent::run(m_services.makeModel);
        m_modelPending = true;
    }

    setMinimumSize(100, 100);
    setMaximumSize(450, 800);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    // Shown only while the note cannot be stored.
    outer->addWidget(new StorageWarning(*m_services.store, this));
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Only the controls inside take the focus; the area follows them into view.
    scroll->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(scroll);

    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    auto *layout = new QVBoxLayout(page);

    m_heading = new QLabel(tr("Yumekazu Tabs"), page);
    m_heading->setObjectName(u"heading"_s);
    // Texts, whether fixed or taken from the state, are shown as written.
    m_heading->setTextFormat(Qt::PlainText);
    m_heading->setAlignment(Qt::AlignCenter);
    new WindowAccessor([this](HostWindow *window) { accessorCallback(window); }, m_heading);
    layout->addWidget(m_heading);

    m_animalLine = new QLabel(page);
    m_animalLine->setObjectName(u"animalLine"_s);
    m_animalLine->setTextFormat(Qt::PlainText);
    m_animalLine->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_animalLine);

    auto *gateWidget = new QWidget(page);
    gateWidget->setObjectName(u"gateStack"_s);
    m_gate = new QVBoxLayout(gateWidget);
    m_gate->setSpacing(20);
    m_gate->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    const int pad = style()->pixelMetric(QStyle::PM_LayoutRightMargin);
    m_gate->setContentsMargins(0, 0, pad, pad);
    layout->addWidget(gateWidget, 1);

    m_lockButton = new QPushButton(gateWidget);
    m_lockButton->setObjectName(u"lockButton"_s);
    auto *label = new QHBoxLayout(m_lockButton);
    auto *icon = new QLabel(m_lockButton);
    icon->setObjectName(u"lockIcon"_s);
    icon->setFixedSize(16, 16);
    m_lockIcon = icon;
    m_lockButton->installEventFilter(this);
    auto *lockText = new QLabel(tr("変更するにはカギをクリックします"), m_lockButton);
    lockText->setObjectName(u"lockText"_s);
    lockText->setTextFormat(Qt::PlainText);
    lockText->setToolTip(tr("マウスでクリック"));
    // The text sits in a child label, so assistive technology would hear only "button".
    m_lockButton->setAccessibleName(lockText->text());
    m_lockButton->setAccessibleDescription(lockText->toolTip());
    label->addWidget(icon);
    label->addWidget(lockText);
    m_lockButton->setMinimumSize(label->sizeHint());
    connect(m_lockButton, &QPushButton::clicked, this, &AuthorizationLockView::lockAction);
    m_gate->addWidget(m_lockButton, 0, Qt::AlignHCenter);
    static const bool notification = [] {
        QAccessible::installFactory(accessibleLockObstacle);
        return true;
    }();
    (void)notification;
    m_lockObstacleLine = new WrappingLabel(QString(), gateWidget);
    m_lockObstacleLine->setObjectName(lockObstacleName);
    m_lockObstacleLine->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // Growing, it makes the gate's top-aligned layout fill its height, which
    // then follows the line's wrapping in a window narrower than the line.
    QSizePolicy growing = m_lockObstacleLine->sizePolicy();
    growing.setVerticalPolicy(QSizePolicy::Expanding);
    m_lockObstacleLine->setSizePolicy(growing);
    m_gate->addWidget(m_lockObstacleLine);

    refresh();
}

AuthorizationLockView::~AuthorizationLockView() = default;

HostWindow *AuthorizationLockView::hostWindow() const
{
    return m_window;
}

const QList<Person> &AuthorizationLockView::people(int number) const
{
    switch (number) {
    case 2: return m_people2;
    case 3: return m_people3;
    case 4: return m_people4;
    case 5: return m_people5;
    default: return m_people1;
    }
}

QString AuthorizationLockView::uString() const
{
    return m_services.store->string(PreferenceKeys::stringKey, QString());
}

void AuthorizationLockView::setUString(const QString &value)
{
    m_services.store->setString(PreferenceKeys::stringKey, value);
}

QString AuthorizationLockView::bunreiString() const
{
    return m_services.store->string(PreferenceKeys::bunreiKey, PreferenceKeys::sampleParagraph);
}

void AuthorizationLockView::setBunreiString(const QString &value)
{
    m_services.store->setString(PreferenceKeys::bunreiKey, value);
}

void AuthorizationLockView::setSp1(int value) { m_sp1 = value; refresh(); }
void AuthorizationLockView::setSp2(int value) { m_sp2 = value; refresh(); }
void AuthorizationLockView::setSp3(int value) { m_sp3 = value; refresh(); }
void AuthorizationLockView::setText(const QString &value) { m_text = value; }

void AuthorizationLockView::setDateTime(const QDateTime &value)
{
    m_dateTime = value;
    refresh();
}

// The lock gate: the administrator's authorization unlocks this window only.
void AuthorizationLockView::lockAction()
{
    if (m_requestingAuthorization)
        return;
    m_requestingAuthorization = true;
    m_lockObstacle.clear();
    refresh();
    // Disabled, the button would pass the focus on to whatever Qt finds next
    // (screen readers follow it there); it gives the focus up and takes it
    // back afterwards, so the reason below is read with the button.
    const bool hadFocus = m_lockButton->hasFocus();
    if (hadFocus)
        m_lockButton->clearFocus();
    m_lockButton->setEnabled(false);
    const QPointer<AuthorizationLockView> self(this);
    const bool granted = m_auth->requestAuthorization();
    if (!self)
        return;
    m_requestingAuthorization = false;
    m_lockButton->setEnabled(true);
    m_unlocked = m_unlocked || granted;
    m_lockObstacle = granted ? QString() : AuthorizationController::describe(m_auth->obstacle());
    refresh();
    if (hadFocus && !granted)
        m_lockButton->setFocus();
}

void AuthorizationLockView::authenticateWithTouchID()
{
    std::unique_ptr<LAContext> context;
    if (m_services.localAuthentication)
        context = m_services.localAuthentication->makeContext(this);
    std::optional<PlatformError> error;
    const int policy = LAContext::policyDeviceOwnerAuthenticationWithBiometricsOrWatch;
    if (!context || !context->canEvaluatePolicy(policy, &error)) {
        QTimer::singleShot(0, this, [this, error] {
            m_alertMessage = error ? error->localizedDescription : tr("生体認証が利用できません");
            m_showAlert = true;
            refresh();
        });
        return;
    }
    if (context->biometryType() != LAContext::biometryTypeTouchID) {
        m_alertMessage = tr("このマックではTouch IDが利用できません");
        m_showAlert = true;
        refresh();
        return;
    }
    LAContext *raw = context.get();
    m_touchIdContexts.push_back(std::move(context));
    const QPointer<AuthorizationLockView> self(this);
    raw->evaluatePolicy(policy, tr("Touch IDで本人確認を行います"),
                        [self, raw](bool success, std::optional<PlatformError> replyError) {
        // The reply does no work of its own: it hands over to the main thread.
        QMetaObject::invokeMethod(qApp, [self, raw, success, replyError] {
            if (!self)
                return;
            self->applyTouchIdReply(success, replyError);
            auto &contexts = self->m_touchIdContexts;
            const auto it = std::find_if(contexts.begin(), contexts.end(),
                                         [raw](const auto &c) { return c.get() == raw; });
            if (it != contexts.end()) {
                (*it)->deleteLater();
                it->release();
                contexts.erase(it);
            }
        }, Qt::QueuedConnection);
    });
}

void AuthorizationLockView::applyTouchIdReply(bool success, const std::optional<PlatformError> &error)
{
    if (success) {
        m_isAuthenticated = true;
        m_authMessage = tr("Touch IDで認証できました");
        m_unlockContent = true;
    } else {
        m_isAuthenticated = false;
        m_authMessage = tr("認証に失敗しました");
        m_alertMessage = error ? error->localizedDescription : tr("認証に失敗しました");
        m_showAlert = true;
    }
    refresh();
}

void AuthorizationLockView::dismissAlert()
{
    m_showAlert = false;
    refresh();
    // The keyboard goes back to the button that raised the alert; without a
    // window manager nobody hands the focus back.
    if (m_touchIdButton && m_touchIdButton->isVisible()) {
        activateWindow();
        m_touchIdButton->setFocus();
    }
}

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
    const MyModel *const classifier = model();
    if (!classifier) {
        QMessageBox::warning(this, tr("機械学習"), tr("分類モデルを読み込めませんでした。"));
        return;
    }
    const auto output = classifier->prediction(MyModelInput(uString()));
    if (!output)
        return;
    m_result = output->label();
    refresh();
}

const MyModel *AuthorizationLockView::model() const
{
    if (m_modelPending) {
        m_modelPending = false;
        auto loaded = m_modelLoad.takeResult();
        if (loaded)
            m_model = std::move(loaded.value());
    }
    return m_model.get();
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

void AuthorizationLockView::advancePeopleNum()
{
    m_peopleNum = SampleTables::nextPeopleNum(m_peopleNum);
    refresh();
}

void AuthorizationLockView::reloadModel()
{
    if (m_services.reloadModel)
        m_services.reloadModel();
}

void AuthorizationLockView::accessorCallback(HostWindow *window)
{
    m_window = window;
    if (window) {
        if (TabGroupWindow *group = window->tabGroup()) {
            std::cout << "Tab count: " << group->count() << std::endl;
            m_winIndex = group->count();
            refresh();
        }
    }
}

void AuthorizationLockView::addNewTab()
{
    if (!m_services.windows || !m_services.windows->makeMainWindow)
        return;
    HostWindow *key = m_services.windows->keyWindow();
    if (!key || !key->tabGroup())
        return;
    key->tabGroup()->addTabbedWindow(m_services.windows->makeMainWindow(), key,
                                     TabGroupWindow::Ordering::Above);
}

void AuthorizationLockView::selectTab(int index)
{
    setSp2(m_services.store->integer(PreferenceKeys::intKeyToggle2));
    HostWindow *key = m_services.windows ? m_services.windows->keyWindow() : nullptr;
    TabGroupWindow *group = key ? key->tabGroup() : nullptr;
    if (!group)
        return;
    const auto windows = group->windows();
    if (index >= 0 && index < windows.size()) {
        windows[index]->makeKeyAndOrderFront();
        m_winIndex = index;
        refresh();
    }
}

void AuthorizationLockView::loadLockIconSoon()
{
    if (m_lockIconRequested || !m_lockIcon)
        return;
    // Looking up the icon theme costs more than the rest of the window: the
    // icon follows right after the first frame instead of delaying it.
    m_lockIconRequested = true;
    QTimer::singleShot(0, m_lockIcon, [icon = m_lockIcon] {
        const QIcon lock = QIcon::fromTheme(u"changes-prevent"_s, QIcon::fromTheme(u"system-lock-screen"_s));
        icon->setPixmap(lock.pixmap(16, 16));
    });
}

void AuthorizationLockView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Keyboard users can open the lock at once with Space.
    if (!m_unlocked && m_lockButton)
        m_lockButton->setFocus();
}

void AuthorizationLockView::closeEvent(QCloseEvent *event)
{
    // A pending authorization must not outlive the window that asked for it.
    if (m_requestingAuthorization)
        m_auth->cancel();
    m_touchIdContexts.clear();
    event->accept();
}

void AuthorizationLockView::buildContentPanel()
{
    auto *gateParent = m_lockButton->parentWidget();
    m_banner = new QLabel(tr("🔓 ロック解除済み"), gateParent);
    m_banner->setObjectName(u"banner"_s);
    m_banner->setTextFormat(Qt::PlainText);
    m_banner->setFont(titleFont(this));
    m_banner->setAlignment(Qt::AlignCenter);
    m_gate->addWidget(m_banner);

    m_contentPanel = new QWidget(gateParent);
    m_contentPanel->setObjectName(u"contentPanel"_s);
    m_contentPanel->setMinimumSize(300, 200);
    auto *panel = new QVBoxLayout(m_contentPanel);
    panel->setSpacing(20);
    panel->setAlignment(Qt::AlignCenter);
    m_gate->addWidget(m_contentPanel);

    m_statusTitle = new QLabel(m_contentPanel);
    m_statusTitle->setObjectName(u"statusTitle"_s);
    m_statusTitle->setTextFormat(Qt::PlainText);
    m_statusTitle->setFont(titleFont(this));
    m_statusTitle->setAlignment(Qt::AlignCenter);
    panel->addWidget(m_statusTitle);

    m_promptText = new WrappingLabel(QString(), m_contentPanel);
    m_promptText->setObjectName(u"promptText"_s);
    m_promptText->setAlignment(Qt::AlignCenter);
    panel->addWidget(m_promptText);

    m_touchIdButton = new QPushButton(tr("Touch IDで認証する"), m_contentPanel);
    m_touchIdButton->setObjectName(u"touchIdButton"_s);
    m_touchIdButton->setToolTip(tr("マウスでクリック"));
    m_touchIdButton->setDefault(true);
    m_touchIdButton->setAutoDefault(true);
    connect(m_touchIdButton, &QPushButton::clicked, this, &AuthorizationLockView::authenticateWithTouchID);
    panel->addWidget(m_touchIdButton, 0, Qt::AlignHCenter);
    // Return presses the default button of the panel.
    m_contentPanel->installEventFilter(this);
}

void AuthorizationLockView::buildWorkArea()
{
    m_workArea = new QWidget(m_contentPanel);
    m_workArea->setObjectName(u"workArea"_s);
    auto *work = new QVBoxLayout(m_workArea);
    work->setContentsMargins(0, 0, 0, 0);
    static_cast<QVBoxLayout *>(m_contentPanel->layout())->addWidget(m_workArea);

    auto *divider = new QFrame(m_workArea);
    divider->setFrameShape(QFrame::HLine);
    work->addWidget(divider);

    auto *pickerLabel = new QLabel(tr("日時"), m_workArea);
    pickerLabel->setTextFormat(Qt::PlainText);
    work->addWidget(pickerLabel);
    m_calendar = new QCalendarWidget(m_workArea);
    m_calendar->setObjectName(u"calendar"_s);
    m_time = new QTimeEdit(m_workArea);
    m_time->setObjectName(u"time"_s);
    m_time->setDisplayFormat(u"HH:mm"_s);
    pickerLabel->setBuddy(m_calendar);
    m_calendar->setAccessibleName(pickerLabel->text());
    m_time->setAccessibleName(pickerLabel->text());
    // The calendar's own navigation controls come without names.
    const std::pair<QLatin1StringView, QString> calendarParts[] = {
        {"qt_calendar_prevmonth"_L1, tr("前の月")}, {"qt_calendar_nextmonth"_L1, tr("次の月")},
        {"qt_calendar_yearedit"_L1, tr("年")}, {"qt_calendar_calendarview"_L1, pickerLabel->text()}};
    for (const auto &[name, accessibleName] : calendarParts)
        if (auto *part = m_calendar->findChild<QWidget *>(name))
            part->setAccessibleName(accessibleName);
    work->addWidget(m_calendar);
    work->addWidget(m_time, 0, Qt::AlignLeft);
    // Mouse and keyboard both move the selection; refresh() blocks the echo.
    connect(m_calendar, &QCalendarWidget::selectionChanged, this, [this] {
        setDateTime(QDateTime(m_calendar->selectedDate(), m_dateTime.time()));
    });
    connect(m_time, &QTimeEdit::timeChanged, this, [this](QTime time) {
        setDateTime(QDateTime(m_dateTime.date(), QTime(time.hour(), time.minute())));
    });

    m_table = new QTableWidget(0, 3, m_workArea);
    m_table->setObjectName(u"sampleTable"_s);
    m_table->setHorizontalHeaderLabels({tr("Name"), tr("Family"), tr("Foods")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    // Reachable with Tab so a screen reader can read the cells; nothing is selected.
    m_table->setFocusPolicy(Qt::TabFocus);
    m_table->setTabKeyNavigation(false); // arrows walk the cells, Tab moves on
    m_table->setSortingEnabled(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionsClickable(false);
    m_table->setToolTip(tr("バードパトロール用"));
    m_table->setAccessibleName(m_table->toolTip());
    m_table->setMinimumHeight(m_table->horizontalHeader()->sizeHint().height() + 4 * 30);
    work->addWidget(m_table);

    m_editor = new NoteEditor(m_services.store, m_workArea);
    m_editor->setObjectName(u"noteEditor"_s);
    m_editor->setToolTip(tr("書き留めたいことを記入しよう"));
    m_editor->setAccessibleName(m_editor->toolTip());
    // Tab moves on instead of typing a tab, so the keyboard is never trapped here.
    m_editor->setTabChangesFocus(true);
    m_editor->setMinimumHeight(120);
    work->addWidget(m_editor);

    auto *row = new FlowLayout();
    work->addLayout(row);
    const auto addButton = [this, row](const QString &label, const QString &name, auto action) {
        auto *button = new QPushButton(label, m_workArea);
        button->setObjectName(name);
        button->setAutoDefault(false);
        // Seven items share a narrow window: as wide as the label needs, not
        // the style's usual minimum, so more of them fit on a line.
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(label) + 16);
        connect(button, &QPushButton::clicked, this, action);
        row->addWidget(button);
        return button;
    };
    addButton(tr("保存"), u"saveButton"_s, &AuthorizationLockView::saveButton);
    addButton(tr("別スレッド"), u"threadButton"_s, &AuthorizationLockView::startWaitTask);
    addButton(tr("読込"), u"openButton"_s, &AuthorizationLockView::openText);
    addButton(tr("変更"), u"changeButton"_s, &AuthorizationLockView::advancePeopleNum);
    addButton(tr("機械学習"), u"predictButton"_s, &AuthorizationLockView::predict);
    m_resultLine = new QLabel(m_workArea);
    m_resultLine->setObjectName(u"resultLine"_s);
    m_resultLine->setTextFormat(Qt::PlainText);
    row->addWidget(m_resultLine);
    addButton(tr("再ロード"), u"reloadButton"_s, &AuthorizationLockView::reloadModel);

    // The work area has just come on screen.
    startupParagraphRule();
    m_editor->setFocus();
}

void AuthorizationLockView::startupParagraphRule()
{
    if (m_sp3 == 1)
        setUString(bunreiString());
}

void AuthorizationLockView::showTable()
{
    const bool known = m_peopleNum >= 1 && m_peopleNum <= SampleTables::tableCount;
    m_table->setVisible(known);
    if (!known || m_tableShown == m_peopleNum)
        return;
    m_tableShown = m_peopleNum;
    const QList<Person> &rows = people(m_peopleNum);
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const Person &person = rows[r];
        const QString cells[] = {person.name, person.family, person.foods};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setFlags(Qt::ItemIsEnabled);
            item->setData(Qt::UserRole, person.id);
            m_table->setItem(r, c, item);
        }
    }
}

bool AuthorizationLockView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lockButton && event->type() == QEvent::Paint)
        loadLockIconSoon();
    if (watched == m_contentPanel && event->type() == QEvent::KeyPress && m_touchIdButton
        && m_touchIdButton->isVisible()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && key->modifiers() == Qt::NoModifier) {
            m_touchIdButton->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AuthorizationLockView::refresh()
{
    m_animalLine->setVisible(m_sp2 == 1);
    m_animalLine->setText(u"🐱🐤"_s + QString::number(m_winIndex));
    m_lockButton->setVisible(!m_unlocked);
    m_lockObstacleLine->setVisible(!m_unlocked && !m_lockObstacle.isEmpty());
    if (m_lockObstacleLine->text() != m_lockObstacle) {
        m_lockObstacleLine->setText(m_lockObstacle);
        m_lockObstacleLine->setAccessibleName(m_lockObstacle);
        // A screen reader speaks a changed description of the focused button.
        m_lockButton->setAccessibleDescription(m_lockObstacle.isEmpty() ? tr("マウスでクリック") : m_lockObstacle);
    }

    if (!m_unlocked)
        return;
    if (!m_contentPanel) {
        buildContentPanel();
        m_touchIdButton->setFocus();
    }
    m_statusTitle->setText(m_isAuthenticated ? tr("認証済み ✅") : tr("未認証"));
    m_promptText->setText(m_authMessage);
    m_promptText->setVisible(!m_unlockContent);
    m_touchIdButton->setVisible(!m_unlockContent);
    if (m_unlockContent && !m_workArea)
        buildWorkArea();
    if (m_workArea) {
        {
            const QSignalBlocker calendarBlocker(m_calendar);
            const QSignalBlocker timeBlocker(m_time);
            m_calendar->setSelectedDate(m_dateTime.date());
            m_time->setTime(m_dateTime.time());
        }
        showTable();
        m_resultLine->setVisible(m_result.has_value());
        m_resultLine->setText(tr("結果: %1").arg(m_result.value_or(QString())));
    }

    if (m_showAlert) {
        if (!m_alert) {
            m_alert = new QMessageBox(QMessageBox::Warning, tr("認証エラー"), QString(),
                                      QMessageBox::NoButton, this);
            m_alert->setObjectName(u"authAlert"_s);
            // The message is shown as written, never as markup.
            m_alert->setTextFormat(Qt::PlainText);
            m_alert->addButton(tr("OK"), QMessageBox::RejectRole);
            m_alert->setAttribute(Qt::WA_DeleteOnClose);
            connect(m_alert, &QMessageBox::finished, this, &AuthorizationLockView::dismissAlert);
            m_alert->open();
        }
        m_alert->setText(m_alertMessage);
    } else if (m_alert) {
        m_alert->close();
    }
}

#include "main_window/WorkAreaPage.h"

#include "main_window/FlowLayout.h"
#include "main_window/NoteEditor.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

WorkAreaPage::WorkAreaPage(PreferenceStore *store, QAbstractItemModel *table, QWidget *parent)
    : QWidget(parent), m_calendar(new QCalendarWidget(this)), m_time(new QTimeEdit(this)),
      m_table(new QTableView(this)), m_editor(new NoteEditor(store, this)), m_resultLine(new QLabel(this))
{
    setObjectName(u"workArea"_s);
    auto *work = new QVBoxLayout(this);
    work->setContentsMargins(0, 0, 0, 0);

    auto *divider = new QFrame(this);
    divider->setObjectName(u"divider"_s);
    divider->setFrameShape(QFrame::HLine);
    work->addWidget(divider);

    // One date picker: its label, the month calendar and the time field.
    auto *picker = new QWidget(this);
    picker->setObjectName(u"datePicker"_s);
    auto *pickerLayout = new QVBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    work->addWidget(picker);
    auto *pickerLabel = new QLabel(tr("日時"), picker);
    pickerLabel->setTextFormat(Qt::PlainText);
    pickerLayout->addWidget(pickerLabel);
    m_calendar->setParent(picker);
    m_time->setParent(picker);
    m_calendar->setObjectName(u"calendar"_s);
    m_time->setObjectName(u"time"_s);
    m_time->setDisplayFormat(u"HH:mm"_s);
    pickerLabel->setBuddy(m_calendar);
    m_calendar->setAccessibleName(pickerLabel->text());
    // Heard apart from the calendar, which shares the picker's label.
    m_time->setAccessibleName(tr("時刻"));
    // The calendar's own navigation controls come without names.
    const std::pair<QLatin1StringView, QString> calendarParts[] = {
        {"qt_calendar_prevmonth"_L1, tr("前の月")}, {"qt_calendar_nextmonth"_L1, tr("次の月")},
        {"qt_calendar_yearedit"_L1, tr("年")}, {"qt_calendar_calendarview"_L1, pickerLabel->text()}};
    for (const auto &[name, accessibleName] : calendarParts)
        if (auto *part = m_calendar->findChild<QWidget *>(name))
            part->setAccessibleName(accessibleName);
    pickerLayout->addWidget(m_calendar);
    pickerLayout->addWidget(m_time, 0, Qt::AlignLeft);
    // Mouse and keyboard both move the selection; showState() blocks the echo.
    connect(m_calendar, &QCalendarWidget::selectionChanged, this,
            [this] { emit dateTimeChosen(QDateTime(m_calendar->selectedDate(), m_shown.time())); });
    connect(m_time, &QTimeEdit::timeChanged, this, [this](QTime time) {
        emit dateTimeChosen(QDateTime(m_shown.date(), QTime(time.hour(), time.minute())));
    });

    m_table->setModel(table);
    m_table->setObjectName(u"sampleTable"_s);
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

    m_editor->setObjectName(u"noteEditor"_s);
    m_editor->setToolTip(tr("書き留めたいことを記入しよう"));
    m_editor->setAccessibleName(m_editor->toolTip());
    // Tab moves on instead of typing a tab, so the keyboard is never trapped here.
    m_editor->setTabChangesFocus(true);
    m_editor->setMinimumHeight(120);
    work->addWidget(m_editor);

    auto *row = new FlowLayout();
    work->addLayout(row);
    const auto addButton = [this, row](const QString &label, const QString &name, auto clicked) {
        auto *button = new QPushButton(label, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        // Seven items share a narrow window: as wide as the label needs, not
        // the style's usual minimum, so more of them fit on a line.
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(label) + 16);
        connect(button, &QPushButton::clicked, this, clicked);
        row->addWidget(button);
    };
    addButton(tr("保存"), u"saveButton"_s, &WorkAreaPage::saveClicked);
    addButton(tr("別スレッド"), u"threadButton"_s, &WorkAreaPage::threadClicked);
    addButton(tr("読込"), u"openButton"_s, &WorkAreaPage::openClicked);
    addButton(tr("変更"), u"changeButton"_s, &WorkAreaPage::changeClicked);
    addButton(tr("機械学習"), u"predictButton"_s, &WorkAreaPage::predictClicked);
    m_resultLine->setObjectName(u"resultLine"_s);
    m_resultLine->setTextFormat(Qt::PlainText);
    row->addWidget(m_resultLine);
    addButton(tr("再ロード"), u"reloadButton"_s, &WorkAreaPage::reloadClicked);
}

void WorkAreaPage::showState(const QDateTime &dateTime, bool tableShown, const std::optional<QString> &result)
{
    m_shown = dateTime;
    {
        const QSignalBlocker calendarBlocker(m_calendar);
        const QSignalBlocker timeBlocker(m_time);
        m_calendar->setSelectedDate(dateTime.date());
        m_time->setTime(dateTime.time());
    }
    // The month grid says its selected date when it takes the focus.
    if (auto *grid = m_calendar->findChild<QWidget *>(u"qt_calendar_calendarview"_s))
        grid->setAccessibleDescription(QLocale().toString(dateTime.date(), QLocale::LongFormat));
    m_table->setVisible(tableShown);
    m_resultLine->setVisible(result.has_value());
    m_resultLine->setText(tr("結果: %1").arg(result.value_or(QString())));
}

void WorkAreaPage::focusFirst()
{
    for (QWidget *w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (isAncestorOf(w) && w->isVisibleTo(this) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void WorkAreaPage::announceResult()
{
    emit announcement(m_resultLine->text());
}

void WorkAreaPage::reportModelMissing()
{
    QMessageBox::warning(this, tr("機械学習"), tr("分類モデルを読み込めませんでした。"));
}

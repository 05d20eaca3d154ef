#include "main_window/StorageWarning.h"

using namespace Qt::StringLiterals;

StorageWarning::StorageWarning(const PreferenceStore &store, QWidget *parent) : QLabel(parent), m_store(store)
{
    setObjectName(u"storageWarning"_s);
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::StyledPanel);
    setMargin(6);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xFF, 0xF1, 0xC2));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    connect(&m_store, &PreferenceStore::writeFailureChanged, this, &StorageWarning::refresh);
    refresh();
}

QString StorageWarning::message(const PreferenceStore::WriteFailure &failure)
{
    using enum PreferenceStore::WriteFailure::Reason;
    QString why;
    switch (failure.reason) {
    case NoSpace: why = tr("ディスクの空き容量が足りません。不要なファイルを削除して空きを作ってください。"); break;
    case ReadOnly: why = tr("保存先が読み取り専用です。書き込めるようにしてください。"); break;
    case NoPermission: why = tr("保存先に書き込む権限がありません。フォルダーとファイルの権限を確かめてください。"); break;
    case NotAStore:
        why = tr("設定ファイルのリンク先が設定ファイルではないため、書き込みません（リンク先は変更していません）。"
                 "リンクを外すか、正しい設定ファイルを指すようにしてください。");
        break;
    case Busy: why = tr("ほかの Yumekazu が設定ファイルを使っています。しばらくお待ちください。"); break;
    case Other: why = tr("書き込みに失敗しました（%1）。").arg(failure.detail); break;
    }
    return tr("メモと設定を保存できません。") + u'\n' + tr("場所: %1").arg(failure.path) + u'\n' + why + u'\n'
        + tr("入力した内容はこのウインドウに残っています。保存できるようになると自動で保存します。");
}

void StorageWarning::refresh()
{
    const std::optional<PreferenceStore::WriteFailure> failure = m_store.writeFailure();
    setText(failure ? message(*failure) : QString());
    setAccessibleName(failure ? tr("保存できません") : QString());
    setAccessibleDescription(text());
    setVisible(failure.has_value());
}

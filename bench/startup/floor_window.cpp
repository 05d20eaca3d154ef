// The fair floor for start-up: a program that shows exactly the application's
// locked first frame (menu bar, heading, lock button with its icon, in the
// same font and window size) and does nothing else. What the application
// spends beyond this is work the first frame does not show.
#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QFont font = QApplication::font();
    QStringList families = font.families();
    families.prepend(u"Noto Sans CJK JP"_s);
    font.setFamilies(families);
    QApplication::setFont(font);

    QMainWindow window;
    window.menuBar()->addMenu(u"ファイル"_s);
    window.menuBar()->addMenu(u"ウインドウ"_s);
    window.menuBar()->addMenu(u"ヘルプ"_s);
    auto *tabs = new QTabWidget(&window);
    tabs->setTabBarAutoHide(true);
    tabs->setDocumentMode(true);
    window.setCentralWidget(tabs);

    auto *host = new QWidget;
    auto *outer = new QVBoxLayout(host);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(host);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    auto *layout = new QVBoxLayout(page);
    auto *heading = new QLabel(u"Yumekazu Tabs"_s, page);
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);

    auto *gate = new QWidget(page);
    auto *gateLayout = new QVBoxLayout(gate);
    gateLayout->setSpacing(20);
    gateLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    const int pad = gate->style()->pixelMetric(QStyle::PM_LayoutRightMargin);
    gateLayout->setContentsMargins(0, 0, pad, pad);
    layout->addWidget(gate, 1);
    auto *button = new QPushButton(gate);
    auto *label = new QHBoxLayout(button);
    auto *icon = new QLabel(button);
    icon->setFixedSize(16, 16);
    icon->setPixmap(QIcon(u":/icons/lock.png"_s).pixmap(16, 16));
    auto *text = new QLabel(u"変更するにはカギをクリックします"_s, button);
    text->setToolTip(u"マウスでクリック"_s);
    label->addWidget(icon);
    label->addWidget(text);
    button->setMinimumSize(label->sizeHint());
    gateLayout->addWidget(button, 0, Qt::AlignHCenter);
    tabs->addTab(host, u"Yumekazu"_s);
    window.setWindowTitle(u"Yumekazu"_s);

    const QSize available = window.screen()->availableGeometry().size();
    const int chrome = window.menuBar()->sizeHint().height();
    window.resize(std::clamp(available.width(), 100, 400), std::clamp(available.height() - chrome, 100, 800) + chrome);
    window.show();
    button->setFocus();
    return QApplication::exec();
}

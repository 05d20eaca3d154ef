// Renders pictures of the real windows for the manual and the software
// centre's screenshots, from the application's own widgets with fixed data.
//
//   yumekazu-window-pictures RESOURCE_DIR OUTPUT_DIR
//
// Both gates are answered by stand-ins here, so the pictures show each stage
// without polkit, fprintd or a screen. Every picture is written atomically;
// a stage that does not come up fails the build instead of shipping a wrong
// picture.

#include "app/JapaneseInterface.h"
#include "app/SettingsView.h"
#include "classifier/MyModel.h"
#include "common/FakeGates.h"
#include "main_window/AuthorizationLockView.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/AtomicFile.h"
#include "platform/core/Bundle.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/SystemError.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QIcon>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Pictures are drawn at twice the on-screen size. Main windows are printed at
// 60% of it, small windows (the alert, the settings) larger so their text
// stays readable.
constexpr qreal pixelRatio = 2.0;
constexpr qreal windowScale = 0.6;
constexpr qreal smallWindowScale = 0.9;
constexpr int smallWindowWidth = 300;
constexpr int screenDpi = 96;
// The gate stages fill only the top of a window: their pictures show that part.
const QSize lockedSize(400, 100);
const QSize gateSize(400, 330);
const QSize workSize(450, 800);
const QDateTime sampleDate(QDate(2026, 4, 1), QTime(10, 30));
const QString sampleNote = u"明日は朝から雨の予報。午後は風も強くなるらしいので、傘を持って出かける。"_s;

void fail(const QString &message)
{
    QTextStream(stderr) << "yumekazu-window-pictures: " << message << '\n';
}

bool waitFor(const std::function<bool()> &ready)
{
    QDeadlineTimer deadline(10000);
    while (!ready() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Late icon loads and layouts settle before the picture is taken.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    return ready();
}

bool save(QWidget *widget, const QString &path)
{
    QImage image(widget->size() * pixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(widget->palette().window().color());
    widget->render(&image);
    // The stored resolution says how large the picture is printed.
    const qreal scale = widget->width() > smallWindowWidth ? windowScale : smallWindowScale;
    const int dotsPerMeter = qRound(screenDpi * pixelRatio / scale / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QBuffer png;
    if (!image.save(&png, "PNG")) {
        fail(u"%1 could not be encoded"_s.arg(path));
        return false;
    }
    if (const auto written = AtomicFile::write(path, png.data()); !written) {
        fail(u"writing %1 failed: %2"_s.arg(path, systemErrorText(written.error())));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() != 2) {
        fail(u"usage: yumekazu-window-pictures RESOURCE_DIR OUTPUT_DIR"_s);
        return 2;
    }
    const Bundle resources(arguments.at(0));
    // As the application shows them: Qt's own words, dates and glyphs in Japanese.
    JapaneseInterface::install();
    const QString outputDir = arguments.at(1);
    // Offscreen there is no desktop theme to name the icon folders or the
    // theme; a desktop session has both, and the package depends on Adwaita.
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths()
                               + QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, u"icons"_s,
                                                           QStandardPaths::LocateDirectory));
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(u"Adwaita"_s);

    // A store of its own, so the pictures never show the builder's notes.
    QTemporaryDir home;
    PreferenceStore store(home.filePath(u"preferences.ini"_s));
    store.setString(PreferenceKeys::stringKey, sampleNote);
    // A reader with an enrolled finger that matches, or not as the picture needs.
    FakeFactory fingerprints;
    AppServices services;
    services.store = &store;
    services.makeAuthorization = [] {
        return std::make_unique<AuthorizationController>(std::make_shared<FixedAuthorization>(true));
    };
    services.localAuthentication = &fingerprints;
    services.makeModel = [resources] { return MyModel::create(resources, MLModelConfiguration()); };
    services.reloadModel = [] {};

    const auto makeView = [&](QSize size) {
        auto view = std::make_unique<AuthorizationLockView>(services);
        view->setDateTime(sampleDate);
        view->resize(size);
        view->show();
        return view;
    };
    const auto shown = [](const QWidget *view, const QString &name) {
        const auto *widget = view->findChild<QWidget *>(name);
        return widget && widget->isVisible();
    };
    const auto picture = [&](QWidget *widget, const QString &name, bool ready) {
        if (!ready) {
            fail(u"the window for %1 did not come up"_s.arg(name));
            return false;
        }
        return save(widget, outputDir + u'/' + name);
    };

    const auto locked = makeView(lockedSize);
    if (!picture(locked.get(), u"locked.png"_s, waitFor([&] { return shown(locked.get(), u"lockButton"_s); })))
        return 1;

    const auto unlocked = makeView(gateSize);
    unlocked->lockAction();
    if (!picture(unlocked.get(), u"unlocked.png"_s,
                 waitFor([&] { return unlocked->unlocked() && shown(unlocked.get(), u"touchIdButton"_s); })))
        return 1;

    const auto work = makeView(workSize);
    work->lockAction();
    work->authenticateWithTouchID();
    waitFor([&] { return shown(work.get(), u"workArea"_s); });
    work->predict();
    if (!picture(work.get(), u"work-area.png"_s,
                 waitFor([&] { return shown(work.get(), u"workArea"_s) && work->result().has_value(); })))
        return 1;

    fingerprints.setup.match = false;
    fingerprints.setup.failureReason = QObject::tr("指紋が一致しませんでした");
    const auto refused = makeView(gateSize);
    refused->lockAction();
    refused->authenticateWithTouchID();
    QMessageBox *alert = nullptr;
    const bool alertShown = waitFor([&] {
        alert = refused->findChild<QMessageBox *>(u"authAlert"_s);
        return alert && alert->isVisible();
    });
    if (!picture(alert, u"alert.png"_s, alertShown))
        return 1;

    SettingsView settings(store);
    settings.show();
    if (!picture(&settings, u"settings.png"_s, waitFor([&] { return settings.isVisible(); })))
        return 1;
    return 0;
}

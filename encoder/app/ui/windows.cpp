#include "encoder/app/ui/windows.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "encoder/app/resource.h"
#include "encoder/app/strings.h"
#include "encoder/app/ui/view_hooks.h"

namespace orvane::encoder::ui {

namespace {
QImage g_shared[4];
}  // namespace

void LoadSharedBitmaps() {
    const int ids[4] = {IDB_SHARED1, IDB_SHARED2, IDB_SHARED1, IDB_SHARED3};
    for (int i = 0; i < 4; ++i)
        g_shared[i] = QImage(QString(":/bitmaps/%1.png").arg(ids[i]));
}

const QImage& SharedBitmap(int slot) {
    if (g_shared[0].isNull()) LoadSharedBitmaps();
    return g_shared[slot & 3];
}

QRegion RegionFromMask(const QImage& mask) {
    QRegion region(0, 0, mask.width(), mask.height());
    if (mask.isNull()) return region;
    const QImage m = mask.convertToFormat(QImage::Format_RGB32);
    // Runs of black pixels per row are removed together; the outline is the same as removing
    // them pixel by pixel, column by column.
    QRegion cut;
    for (int y = 0; y < m.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        int x = 0;
        while (x < m.width()) {
            if ((line[x] & 0xFFFFFF) != 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < m.width() && (line[x] & 0xFFFFFF) == 0)
                ++x;
            cut += QRect(start, y, x - start, 1);
        }
    }
    return region.subtracted(cut);
}

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle("Orvane Encoder");
    setAttribute(Qt::WA_DeleteOnClose, false);
    picture_ = QImage(QString(":/bitmaps/%1.png").arg(IDB_SPLASH));
    const QSize size = picture_.isNull() ? QSize(305, 346) : picture_.size();
    setFixedSize(size);
    setMask(RegionFromMask(QImage(QString(":/bitmaps/%1.png").arg(IDB_SPLASH_MASK))));
    if (QScreen* screen = QApplication::primaryScreen()) {
        move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void SplashWindow::keyPressEvent(QKeyEvent*) {
    closed_ = true;
    close();
}

void SplashWindow::mousePressEvent(QMouseEvent*) {
    closed_ = true;
    close();
}

void ShowSplash(unsigned ms) {
    if (Hooks().splashMs >= 0) ms = static_cast<unsigned>(Hooks().splashMs);
    SplashWindow splash;
    splash.show();
    ReportShown(&splash, IDB_SPLASH);
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The splash looks every 50 ms whether it has been closed by a key or a mouse press.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (splash.Closed()) loop.quit();
    });
    done.start(static_cast<int>(ms));
    poll.start(50);
    loop.exec();
    splash.close();
}

void ShowHelpWindow(const std::string& path, QWidget* owner) {
    const QString file = QString::fromStdString(path);
    if (!QFileInfo(file).isReadable()) {
        const QString text = QString("The help file %1 cannot be opened.").arg(file);
        if (Hooks().messageBox) {
            Hooks().messageBox(text.toStdString(), "Orvane Encoder", MB_OK | MB_ICONWARNING);
        } else {
            QMessageBox::warning(owner, "Orvane Encoder", text);
        }
        return;
    }
    // One help window for the process; opening help again brings it to the front. It belongs
    // to the window it was opened from: a modal wizard would otherwise keep it beneath itself
    // and shut it out of the user's input.
    QWidget* top = owner ? owner->window() : nullptr;
    static QPointer<QDialog> window;
    if (window && window->parentWidget() != top) window->setParent(top, window->windowFlags());
    if (!window) {
        window = new QDialog(top, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle("Orvane Encoder Help");
        window->resize(640, 520);
        auto* layout = new QVBoxLayout(window);
        auto* browser = new QTextBrowser(window);
        browser->setObjectName("help");
        browser->setOpenExternalLinks(true);
        layout->addWidget(browser);
    }
    auto* browser = window->findChild<QTextBrowser*>("help");
    browser->setSearchPaths({QFileInfo(file).absolutePath()});
    // The file name ends in .chm; its content is HTML.
    QFile in(file);
    if (in.open(QIODevice::ReadOnly)) browser->setHtml(QString::fromUtf8(in.readAll()));
    window->show();
    window->raise();
    window->activateWindow();
    ReportShown(window, 0);
}

void SetUpApplicationName() { QApplication::setApplicationName("Orvane Encoder"); }

int RunAboutBox(QWidget* owner) {
    QDialog box(owner);
    box.setWindowTitle("About Orvane Encoder");
    auto* layout = new QVBoxLayout(&box);
    auto* picture = new QLabel(&box);
    picture->setPixmap(QPixmap(QString(":/bitmaps/%1.png").arg(IDD_ABOUTBOX)));
    layout->addWidget(picture);
    auto* text = new QLabel(&box);
    text->setText(
        "<b>Orvane Encoder 2001</b>, version 3.00<br>"
        "Encodes WAVE files, folders and CD-Audio tracks to MP3 and WMA,<br>"
        "and decodes MP3 files to WAVE.<br><br>"
        "Copyright \u00a9 Orvane Systems. All rights reserved.");
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    QTimer::singleShot(0, &box, [&box] { ReportShown(&box, IDD_ABOUTBOX); });
    box.exec();
    return IDOK;
}

void InstallWindowMenu(QWidget* window, std::function<void(int)> onSysCommand) {
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(window, &QWidget::customContextMenuRequested, window,
                     [window, onSysCommand](const QPoint& at) {
                         // Only the window's own background: controls keep their own menus.
                         QWidget* under = window->childAt(at);
                         if (under && !qobject_cast<QLabel*>(under)) return;
                         QMenu menu(window);
                         menu.addAction("Minimize", window, [window] { window->showMinimized(); });
                         menu.addSeparator();
                         menu.addAction(QString::fromStdString(LoadString(IDS_ABOUTBOX)), window,
                                        [onSysCommand] {
                                            if (onSysCommand) onSysCommand(IDM_ABOUTBOX);
                                        });
                         menu.exec(window->mapToGlobal(at));
                     });
}

}  // namespace orvane::encoder::ui

#include "platform/window/qt/qt_window_port.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "platform/window/qt/up_down.h"

namespace orvane {
namespace {

// Runs the GUI event loop until done() holds (or a real-time limit passes).
template <typename F>
bool PumpUntil(F done, int limitMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(QtFilterTest, ConvertsPairsAndAllFiles) {
    EXPECT_EQ(QtFilter("Windows PCM (*.wav)|*.wav|All Files (*.*)|*.*||").toStdString(),
              "Windows PCM (*.wav);;All Files (*)");
    EXPECT_EQ(QtFilter("MPEG Layer 3 Audio (*.mp3)|*.mp3||").toStdString(),
              "MPEG Layer 3 Audio (*.mp3)");
    EXPECT_EQ(QtFilter("Both|*.wav;*.mp3||").toStdString(), "Both (*.wav *.mp3)");
    EXPECT_EQ(QtFilter("").toStdString(), "");
}

TEST(QtWindowPortTest, DrivesStandardWidgetsByControlId) {
    QDialog window;
    QtWindowPort port(&window);
    QLineEdit edit(&window);
    QLabel label(&window);
    QCheckBox check(&window);
    QSlider slider(&window);
    QProgressBar bar(&window);
    port.Bind(1000, &edit);
    port.Bind(1001, &label);
    port.Bind(1054, &check);
    port.Bind(1103, &slider);
    port.Bind(1030, &bar);

    port.SetText(0, "Orvane Encoder 2001 - Processing Status");
    EXPECT_EQ(window.windowTitle().toStdString(), "Orvane Encoder 2001 - Processing Status");
    port.SetText(1000, "song.wav");
    port.SetText(1001, "&Input Filename:");
    EXPECT_EQ(port.Text(1000), "song.wav");
    EXPECT_EQ(label.text().toStdString(), "&Input Filename:");
    port.SetCheck(1054, 1);
    EXPECT_EQ(port.Check(1054), 1);
    port.SetRange(1103, 32, 320);
    port.SetPos(1103, 500);
    EXPECT_EQ(port.Pos(1103), 320);  // clamped by the slider itself
    port.SetRange(1030, 0, 1000);
    port.SetPos(1030, 250);
    EXPECT_EQ(bar.value(), 250);
    port.Enable(1000, false);
    EXPECT_FALSE(port.IsEnabled(1000));
    // Unknown ids are ignored and read as empty.
    port.SetText(4711, "x");
    EXPECT_EQ(port.Text(4711), "");
    EXPECT_EQ(port.Check(4711), 0);
}

TEST(QtWindowPortTest, ListViewsByRowAndColumn) {
    QWidget window;
    QtWindowPort port(&window);
    auto* view = new QTreeWidget(&window);
    port.Bind(7, view);
    port.SetColumns(7, {"Name", "Size"});
    port.SetListRow(7, 0, {"a", "1"});
    port.SetListRow(7, 1, {"b", "2"});
    port.SetListRow(7, 5, {"out of range"});  // neither the next row nor an existing one
    port.SetListCell(7, 1, 1, "3");
    port.SetRowCheck(7, 0, true);
    port.SetItemData(7, 1, 42);
    EXPECT_EQ(port.Count(7), 2);
    EXPECT_EQ(view->headerItem()->text(1).toStdString(), "Size");
    EXPECT_EQ(port.ListCell(7, 1, 1), "3");
    EXPECT_EQ(port.ItemText(7, 1), "b");
    EXPECT_EQ(port.ItemData(7, 1), 42);
    EXPECT_EQ(view->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(view->topLevelItem(1)->textAlignment(1) & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(port.CurSel(7), -1);
    port.SetCurSel(7, 1);
    EXPECT_EQ(port.CurSel(7), 1);
    port.ResetContent(7);
    EXPECT_EQ(port.Count(7), 0);
    EXPECT_EQ(port.ListCell(7, 0, 0), "");
}

TEST(QtWindowPortTest, RadioButtonsOfAGroupCanBeClearedOneByOne) {
    QWidget window;
    QtWindowPort port(&window);
    QRadioButton a(&window), b(&window);
    port.Bind(1, &a);
    port.Bind(2, &b);
    port.SetCheck(1, 1);
    EXPECT_EQ(port.Check(1), 1);
    port.SetCheck(1, 0);
    EXPECT_EQ(port.Check(1), 0);
    EXPECT_EQ(port.Check(2), 0);
    port.SetCheck(2, 1);
    EXPECT_EQ(port.Check(1), 0);
    EXPECT_EQ(port.Check(2), 1);
}

TEST(QtWindowPortTest, SortedComboAnswersTheIndexWhereTheItemLanded) {
    QWidget window;
    QtWindowPort port(&window);
    QComboBox combo(&window);
    combo.setInsertPolicy(QComboBox::InsertAlphabetically);
    port.Bind(1075, &combo);
    const char* names[] = {"Rock", "Blues", "Pop", "Acapella"};
    for (long code = 0; code < 4; ++code) {
        const int at = port.AddString(1075, names[code]);
        port.SetItemData(1075, at, code);
    }
    ASSERT_EQ(port.Count(1075), 4);
    EXPECT_EQ(port.ItemText(1075, 0), "Acapella");
    EXPECT_EQ(port.ItemData(1075, 0), 3);
    EXPECT_EQ(port.ItemText(1075, 3), "Rock");
    EXPECT_EQ(port.ItemData(1075, 3), 0);
    port.SetCurSel(1075, 1);
    EXPECT_EQ(port.CurSel(1075), 1);
    EXPECT_EQ(port.Text(1075), "Blues");
    EXPECT_EQ(port.ItemData(1075, 9), -1);
    port.DeleteString(1075, 0);
    EXPECT_EQ(port.Count(1075), 3);
    port.ResetContent(1075);
    EXPECT_EQ(port.Count(1075), 0);
}

TEST(QtWindowPortTest, GrowingLogIsAppendedAndKeepsItsText) {
    QWidget window;
    QtWindowPort port(&window);
    QPlainTextEdit log(&window);
    port.Bind(1059, &log);
    port.SetText(1059, "line 1\r\n");
    port.SetText(1059, "line 1\r\nline 2\r\n");
    EXPECT_EQ(log.toPlainText().count("line"), 2);
    port.SetText(1059, "other");
    EXPECT_EQ(port.Text(1059), "other");
}

TEST(QtWindowPortTest, WorkerCallsAreQueuedInOrderAndQueriesWait) {
    QDialog window;
    QtWindowPort port(&window);
    QLineEdit edit(&window);
    QProgressBar bar(&window);
    port.Bind(1038, &edit);
    port.Bind(1030, &bar);
    std::atomic<bool> done{false};
    std::string seen;
    std::thread worker([&] {
        for (int i = 0; i <= 100; ++i) {
            port.SetText(1038, "file " + std::to_string(i));
            port.SetPos(1030, i);
        }
        seen = port.Text(1038);  // blocks until the GUI thread has applied every change
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(seen, "file 100");
    EXPECT_EQ(bar.value(), 100);
}

TEST(QtWindowPortTest, LogGrowingFromAWorkerEndsWithEveryLine) {
    QDialog window;
    QtWindowPort port(&window);
    QPlainTextEdit log(&window);
    log.setReadOnly(true);
    QLabel label(&window);
    port.Bind(1059, &log);
    port.Bind(1040, &label);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::string text;
        for (int i = 0; i < 2000; ++i) {
            text += "Encoding " + std::to_string(i) + "%\r\n";
            port.SetText(1059, text);
            port.SetText(1040, std::to_string(i));
        }
        port.EndDialog(IDCANCEL);
        done = true;
    });
    int result = -1;
    QObject::connect(&window, &QDialog::finished, [&](int r) { result = r; });
    window.open();
    EXPECT_TRUE(PumpUntil([&] { return done.load() && result != -1; }));
    worker.join();
    QCoreApplication::processEvents();
    const QStringList lines = log.toPlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2000);
    EXPECT_TRUE(lines.first().startsWith("Encoding 0%"));
    EXPECT_TRUE(lines.last().startsWith("Encoding 1999%"));
    EXPECT_EQ(label.text().toStdString(), "1999");
    // A text that does not continue the log replaces it.
    port.SetText(1059, "fresh");
    EXPECT_EQ(log.toPlainText().toStdString(), "fresh");
}

TEST(QtWindowPortTest, MessageBoxFromWorkerBlocksUntilAnswered) {
    QDialog window;
    QtWindowPort port(&window);
    std::vector<std::string> asked;
    port.SetDefaultCaption("Orvane Encoder");
    port.SetMessageBoxHandler([&](const std::string& text, const std::string& caption, unsigned) {
        asked.push_back(caption + ": " + text);
        return IDNO;
    });
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = port.MessageBox("Restart now?", "", MB_YESNO); });
    EXPECT_TRUE(PumpUntil([&] { return answer.load() != 0; }));
    worker.join();
    EXPECT_EQ(answer.load(), IDNO);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Orvane Encoder: Restart now?");
}

TEST(QtWindowPortTest, CommandsTimersDialogsAndEnd) {
    QDialog window;
    QtWindowPort port(&window);
    std::vector<int> commands, ticks;
    port.OnCommand([&](int id) { commands.push_back(id); });
    port.OnTimer([&](int id) {
        ticks.push_back(id);
        port.KillTimer(id);
    });
    port.RegisterDialog(162, [](QWidget* owner) { return owner ? IDOK : IDCANCEL; });
    EXPECT_EQ(port.DoModal(162), IDOK);
    EXPECT_EQ(port.DoModal(999), IDCANCEL);

    port.PostCommand(IDCANCEL);
    EXPECT_TRUE(commands.empty());  // posted, not called
    EXPECT_TRUE(PumpUntil([&] { return !commands.empty(); }));
    EXPECT_EQ(commands, std::vector<int>{IDCANCEL});

    port.SetTimer(3, 1);
    EXPECT_TRUE(PumpUntil([&] { return !ticks.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, std::vector<int>{3});

    int result = -1;
    QObject::connect(&window, &QDialog::finished, [&](int r) { result = r; });
    window.open();
    std::thread worker([&] { port.EndDialog(IDCANCEL); });
    worker.join();
    EXPECT_TRUE(PumpUntil([&] { return result != -1; }));
    EXPECT_EQ(result, IDCANCEL);
}

TEST(QtWindowPortTest, PickersGoThroughTheHandler) {
    QWidget window;
    QtWindowPort port(&window);
    std::vector<std::string> seen;
    port.SetPickerHandler([&](int kind, const std::string& title, const std::string& filter) {
        seen.push_back(std::to_string(kind) + "|" + title + "|" + filter);
        return kind == QtWindowPort::kPickFolder ? std::string("/music") : std::string();
    });
    EXPECT_EQ(port.ChooseOpenFile("Open Windows PCM WAVE File", "W|*.wav||", ""), "");
    EXPECT_EQ(port.ChooseFolder("Select a Folder for Output Files..."), "/music");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "0|Open Windows PCM WAVE File|W|*.wav||");
}

}  // namespace
}  // namespace orvane

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A box closed without pressing a button (window close or Escape) agrees to nothing.
TEST(QtWindowPortTest, AMessageBoxClosedWithoutAButtonAgreesToNothing) {
    struct Case {
        unsigned flags;
        int answer;
    } cases[] = {{MB_YESNO, IDNO}, {MB_OKCANCEL, IDCANCEL}, {MB_OK, IDOK}};
    for (const Case& c : cases) {
        QTimer::singleShot(0, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        EXPECT_EQ(c.answer, orvane::RunMessageBox(nullptr, "Question?", "Caption", c.flags))
            << c.flags;
    }
}

namespace orvane {
namespace {

TEST(QtWindowPortTest, AShortMessageLeavesTheWholeCaptionRoom) {
    int width = 0;
    QString title;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            width = box->width();
            title = box->windowTitle();
            box->close();
        }
    });
    RunMessageBox(nullptr, "Done.", "Orvane Encoder 2001 - CD-Audio Grabber", MB_OK);
    ASSERT_EQ(title, "Orvane Encoder 2001 - CD-Audio Grabber");
    QFont bold = QApplication::font();
    bold.setBold(true);
    // The caption, and the title bar's icon and buttons beside it.
    EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(title) + 100);
}

TEST(UpDownControlTest, DrawsBothArrowsAndStepsItsBuddyWithinTheRange) {
    QDialog window;
    QtWindowPort port(&window);
    QLineEdit edit(&window);
    UpDownControl upDown(&window);
    upDown.setGeometry(0, 0, 18, 22);
    upDown.SetBuddy(&edit);
    port.Bind(1089, &edit);
    port.Bind(1090, &upDown);
    port.SetRange(1090, 1, 120);
    port.SetPos(1090, 119);
    EXPECT_EQ(edit.text(), "119");
    // Each half shows its arrow, at the narrow size the dialogs give it, also disabled.
    for (bool enabled : {true, false}) {
        upDown.setEnabled(enabled);
        const QImage shot = upDown.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb arrow =
            upDown.palette()
                .color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText)
                .rgb();
        int upper = 0, lower = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) == arrow) ++(y < shot.height() / 2 ? upper : lower);
        EXPECT_GE(upper, 4) << enabled;
        EXPECT_GE(lower, 4) << enabled;
    }
    upDown.setEnabled(true);
    int changes = 0;
    upDown.OnChanged([&](int) { ++changes; });
    const auto press = [&](int y) {
        QMouseEvent down(QEvent::MouseButtonPress, QPointF(9, y), QPointF(9, y), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&upDown, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(9, y), QPointF(9, y), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&upDown, &up);
    };
    press(4);
    press(4);
    EXPECT_EQ(edit.text(), "120");  // the top of the range holds
    press(18);
    EXPECT_EQ(port.Pos(1090), 119);
    // The keys in the edit step as the arrows do; a typed number is where they start.
    edit.setText("2");
    QKeyEvent downKey(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&edit, &downKey);
    QApplication::sendEvent(&edit, &downKey);
    EXPECT_EQ(edit.text(), "1");
    EXPECT_EQ(changes, 5);
    // Disabled, it steps nothing.
    upDown.setEnabled(false);
    press(4);
    EXPECT_EQ(edit.text(), "1");
}

}  // namespace
}  // namespace orvane

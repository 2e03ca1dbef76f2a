#pragma once
// Driving the front-end's real windows under the offscreen platform the way a user does:
// finding controls by their resource number, typing and clicking, and a script of steps that
// runs as each window appears.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "encoder/app/ui/view_hooks.h"

namespace orvane::encoder::ui::script {

template <typename T = QWidget>
T* Find(QWidget* window, int id) {
    auto* w = window->findChild<T*>(QString("id%1").arg(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// The wizard page on show (the pages' controls share ids: 619 repeats page 2's).
inline QWidget* CurrentPage(QWidget* sheet) {
    auto* stack = sheet->findChild<QStackedWidget*>();
    EXPECT_NE(stack, nullptr);
    return stack ? stack->currentWidget() : sheet;
}

inline std::string TextOf(QWidget* window, int id) {
    if (auto* e = window->findChild<QLineEdit*>(QString("id%1").arg(id))) {
        return e->text().toStdString();
    }
    if (auto* l = window->findChild<QLabel*>(QString("id%1").arg(id))) {
        return l->text().toStdString();
    }
    return "?";
}

inline void Click(QWidget* window, int id) {
    if (auto* b = Find<QAbstractButton>(window, id)) b->click();
}

// What the user types into an edit.
inline void Type(QWidget* window, int id, const QString& text) {
    auto* edit = Find<QLineEdit>(window, id);
    if (!edit) return;
    edit->setText(text);
    emit edit->textEdited(text);
}

inline void Type(QWidget* window, int id, const std::string& text) {
    Type(window, id, QString::fromStdString(text));
}

inline void Type(QWidget* window, int id, const char* text) {
    Type(window, id, QString::fromUtf8(text));
}

// Key presses, one per character, as the keyboard delivers them.
inline void Keys(QWidget* window, int id, const QString& text) {
    auto* edit = Find<QLineEdit>(window, id);
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

inline bool Enabled(QWidget* window, int id) {
    auto* w = Find(window, id);
    return w && w->isEnabled() && w->isVisibleTo(window);
}

// Runs the steps one per shown window (keyed by dialog id and visit count), after the window
// has settled; records message boxes and answers them with OK.
class Script {
public:
    using Step = std::function<void(QWidget*)>;
    Script() {
        Hooks().splashMs = 0;
        Hooks().shown = [this](QWidget* w, int id) {
            const int visit = visits_[id]++;
            auto it = steps_.find({id, visit});
            if (it == steps_.end()) return;
            Step step = it->second;
            QPointer<QWidget> guarded(w);
            QTimer::singleShot(0, w, [step, guarded] {
                if (guarded) step(guarded);
            });
        };
        Hooks().messageBox = [this](const std::string& text, const std::string&, unsigned) {
            messages.push_back(text);
            return IDOK;
        };
    }
    ~Script() { Hooks() = {}; }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;
    void On(int id, Step step, int visit = 0) { steps_[{id, visit}] = std::move(step); }
    int Visits(int id) { return visits_[id]; }
    std::vector<std::string> messages;

private:
    std::map<std::pair<int, int>, Step> steps_;
    std::map<int, int> visits_;
};

// Ends a script that went astray: once limitMs have passed, the test fails and every modal
// window is closed in turn, so the run ends instead of waiting for a user.
class Watchdog {
public:
    explicit Watchdog(int limitMs) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            ADD_FAILURE() << "the windows did not finish in time";
            closer_.start(100);
        });
        QObject::connect(&closer_, &QTimer::timeout, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        timer_.start(limitMs);
    }

private:
    QTimer timer_, closer_;
};

}  // namespace orvane::encoder::ui::script

#pragma once
// The player's dialogs: the CD database (198), the programmed order (212), the preferences
// sheet with its page "General" (106) and the About box (100). Each has the tiled background of
// bitmap 186 with white, transparent static texts.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <map>

#include "cdplayer/commands.h"
#include "cdplayer/dialogs.h"
#include "cdplayer/player_state.h"

namespace orvane::cdplayer::ui {

class TiledDialog : public QDialog {
public:
    explicit TiledDialog(QWidget* parent);
    // A static text drawn white on the tiles.
    QLabel* Static(const QString& text, const QRect& rect, int id = 0);
    QWidget* Control(int id) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void Bind(int id, QWidget* widget);

private:
    QImage tile_;
    std::map<int, QWidget*> controls_;
};

class CCdDatabaseDlg : public TiledDialog {
public:
    CCdDatabaseDlg(PlayerState& player, Messenger& messenger, QWidget* parent);
    // After the dialog has closed with OK: stores the names; returns the new track list items.
    std::vector<std::string> ApplyOk();
    const CdDatabaseDialogData& Data() const { return data_; }
    QLineEdit* DiscNameEdit() const { return discName_; }
    QLineEdit* TrackEdit() const { return trackEdit_; }
    QListWidget* TrackList() const { return tracks_; }

protected:
    // The arrow keys in the edit field move the list's selection, as in a simple combo box.
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void Refresh();

    PlayerState& player_;
    Messenger& messenger_;
    CdDatabaseDialogData data_;
    QLineEdit* discName_;
    QLineEdit* trackEdit_;
    QListWidget* tracks_;
    QLabel* selected_;
    QLabel* identity_;
};

class CProgramDlg : public TiledDialog {
public:
    CProgramDlg(PlayerState& player, Messenger& messenger, QWidget* parent);
    // After the dialog has closed with OK: stores the order and starts its first entry.
    void ApplyOk();
    const ProgramDialogData& Data() const { return data_; }
    QListWidget* Tracks() const { return tracks_; }
    QListWidget* Order() const { return order_; }
    QPushButton* AddButton() const { return add_; }
    void Add();
    void Remove();
    void Reset();

private:
    void RefillOrder(int select);

    PlayerState& player_;
    ProgramDialogData data_;
    QListWidget* tracks_;
    QListWidget* order_;
    QPushButton* add_;
};

// The preferences sheet with its one page "General".
class CSetupProp : public QDialog {
public:
    CSetupProp(PlayerState& player, Messenger& messenger, const DriveTypeFn& driveType,
               QWidget* parent);
    // Where the settings are written when they change.
    void OnSave(std::function<void()> save) { save_ = std::move(save); }
    // OK: validates (a failure shows its message and keeps the sheet open), then stores.
    bool TryOk();
    void accept() override;

    QComboBox* Drives() const { return drives_; }
    QLineEdit* IntroScan() const { return intro_; }
    QCheckBox* Check(int id) const;
    QWidget* Page() const { return page_; }

private:
    PlayerState& player_;
    Messenger& messenger_;
    std::function<void()> save_;
    QWidget* page_;
    QComboBox* drives_;
    QCheckBox* play_;
    QCheckBox* stop_;
    QCheckBox* saveBox_;
    QLineEdit* intro_;
};

// The scrolling credits area (627) of the About box.
class CreditsArea;

class CAboutDlg : public TiledDialog {
public:
    explicit CAboutDlg(QWidget* parent);
    // Pauses the status thread while the credits run, and lets it go on.
    void SetPauser(std::function<void()> pause, std::function<void()> resume) {
        pause_ = std::move(pause);
        resume_ = std::move(resume);
    }
    // Handles window messages and waits; by default on the clock.
    void SetWait(std::function<void(unsigned)> wait) { wait_ = std::move(wait); }

    // Runs the credits (the double click on image 1005); returns the rows scrolled.
    int RunCredits();
    bool CreditsRunning() const { return running_; }
    int CreditsHeight() const;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void reject() override;

private:
    std::function<void()> pause_, resume_;
    std::function<void(unsigned)> wait_;
    CreditsArea* credits_;
    QLabel* image_;
    bool running_ = false;
    bool closeAfterCredits_ = false;
};

// The texts of string resources 631 (the credits) and 632 (the legal warning).
extern const char* const kCreditsText;
extern const char* const kLegalWarning;

}  // namespace orvane::cdplayer::ui

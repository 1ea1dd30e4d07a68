// The login's rules, without the dialog: the roster lookup, the character
// checks of IDs and passwords, the OK decision with the roster save, and
// the password change.  The dialogs hold the boxes and show what these
// functions decide.
#pragma once

#include "roster.h"

#include <string>
#include <vector>

// Which box a message sends the focus to.
enum class TLoginBox { None, ID, Name, Password, Current, New, Retyped };

struct TLoginReply {
    std::string Message;          // empty: nothing to show
    bool Beep = false;
    TLoginBox Focus = TLoginBox::None;
    std::vector<TLoginBox> Clear;  // boxes to empty
    bool Ok = false;              // the step succeeded
};

// True when text holds only ASCII digits and letters.
bool AllowedIdChars(const std::string& text);

class TLogin {
public:
    // The roster, three strings a learner: ID, name, plain password.
    std::vector<std::string> RosterList;
    int UserIndex = 0;
    bool NewUser = false;
    bool PassOk = false;
    bool LoginOk = true;
    bool LookedUp = false;  // the ID box has been left at least once
    std::string RosterPath;

    // Reads the roster; a file that cannot be read leaves RosterList as it
    // was.  A roster the reader refuses (see ParseRoster) sets RosterError
    // to why; no login goes through while it is set, since none of its
    // learners could be told from a new one.
    void LoadRoster();
    std::string RosterError;
    // Why the last save failed, when the modes say why (a path and the
    // missing permission); empty otherwise.
    std::string SaveProblem;
    // Saves the typed learner into the roster: re-read, update, replace.
    // The re-read may find the learner changed since this dialog read the
    // roster (registered by another computer meanwhile, or the password
    // changed there): unless the file's password is the typed one or the
    // one this learner proved, nothing is changed and SaveConflict is set.
    // The name is written only when the learner changed the one looked up;
    // otherwise the file's (perhaps renamed meanwhile) stays.
    bool SaveRoster(const std::string& id, const std::string& name, const std::string& password);
    bool SaveConflict = false;
    // What the learner is told then: the password does not match.
    static TLoginReply ConflictReply();
    // Set when the learner the lookup found is no longer in the file
    // (deleted, or its ID changed, meanwhile): nothing is written, the
    // roster is read again and the ID looked up anew, so that the next OK
    // takes it as the roster now has it.
    bool SaveGone = false;
    // What the learner is told then.
    static TLoginReply GoneReply();

    TLoginReply CheckUserID(const std::string& id) const;
    // Leaving the ID box: returns the checks' reply; name receives the name
    // box's new text.  id may be cleared by the check.
    TLoginReply Edit1Exit(std::string& id, std::string& name);
    TLoginReply Edit2Exit(const std::string& name) const;
    TLoginReply Edit3Enter(const std::string& password);
    // OK: checks everything, saves the roster (save fails: Ok false and
    // SaveFailed set, for the Retry/Ignore question).
    TLoginReply BitBtn1Click(const std::string& id, const std::string& name, const std::string& password);
    bool SaveFailed = false;

    // The password button works only for a learner found in the roster.
    bool CanChangePassword(const std::string& id, const std::string& name) const;
    TLoginReply PasswordBoxExit(const std::string& text) const;
    TLoginReply ChangePassword(const std::string& current, const std::string& fresh,
                               const std::string& retyped);

    static const std::string& Unregistered();  // "未登録"

private:
    int Find(const std::string& id) const;
    // The name and password the roster held for the ID found by the last
    // lookup.
    std::string LookedUpName;
    std::string LookedUpPassword;
};

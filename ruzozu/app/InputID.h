// The login dialog of network mode and its password dialog.
#pragma once

#include "login.h"

#include <QDialog>
#include <array>

class QLineEdit;
class TRetEdit;
class TArEdit;
class QPushButton;
class QToolButton;

class TfInputID : public QDialog {
    Q_OBJECT
public:
    enum { ResultOk = 1, ResultCancel = 2, ResultAbort = 3 };

    // rosterFolder ends with "/"; userID and userName receive the login.
    TfInputID(QWidget* owner, const std::string& rosterFolder, std::string& userID, std::string& userName);

    TRetEdit* Edit1 = nullptr;  // user ID
    TRetEdit* Edit2 = nullptr;  // user name
    TRetEdit* Edit3 = nullptr;  // password
    QToolButton* SpeedButton1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    TLogin Login;

    void Edit1Exit();
    void Edit2Exit();
    void Edit3Exit();
    void BitBtn1Click();
    void SpeedButton1Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Apply(const TLoginReply& r);
    QLineEdit* Box(TLoginBox b) const;
    std::string& UserID;
    std::string& UserName;
};

class TfPassChange : public QDialog {
    Q_OBJECT
public:
    TfPassChange(QWidget* owner, TLogin& login);
    std::array<QLineEdit*, 3> Edits{};  // current, new, retyped
    TArEdit* ArEdit1 = nullptr;         // the three boxes as one array
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    void BitBtn1Click();

private:
    void ArEdit1Exit(int index);
    TLogin& Login;
};

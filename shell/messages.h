// Message boxes, the display of errors that escape a handler, and the texts they are built from.
#pragma once

#include <QString>

#include <exception>

enum class MessageKind
{
    Warning,
    Error,
    Information,
};

// A modal box with the kind's caption and icon, the text as plain text and one OK button.
void ShowMessageBox(const QString& text, MessageKind kind);
// An error that escaped a handler: the application title as caption, the error icon, the text with a full stop.
void ReportError(const std::exception& error);
void ReportError(const QString& message);

QString messageCaption(MessageKind kind);
// Appends "." when the last character sorts after "." (a letter, a digit, "]"), not after ")", "!" or ".".
QString withFullStop(const QString& message);
// The program file's name after its last separator, cut at its first ".", all but the first character in
// lower case: /usr/bin/MYTOOL.EXE gives Mytool.
QString applicationTitleFor(const QString& programPath);

// The caption of ReportError's box and of the taskbar entry.
void setApplicationTitle(const QString& title);
QString applicationTitle();

// Where messages go: real boxes by default, standard error without a display, a recorder in tests.
class MessageDisplay
{
public:
    virtual ~MessageDisplay() = default;
    virtual void showMessage(const QString& text, MessageKind kind) = 0;
    virtual void showError(const QString& caption, const QString& text) = 0;
};

// Installs a display (nullptr restores the real boxes) and returns the one it replaces.
MessageDisplay* setMessageDisplay(MessageDisplay* display);

// Writes each message as "Kind: text" to standard error, for runs without a display.
class StandardErrorDisplay final : public MessageDisplay
{
public:
    void showMessage(const QString& text, MessageKind kind) override;
    void showError(const QString& caption, const QString& text) override;
};

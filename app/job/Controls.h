// What the engine may show while it works. The desktop program implements
// these by posting to its window thread (blocking for modal questions), the
// command-line program on the terminal, and tests record the calls.
#pragma once

#include <string>
#include <vector>

namespace job {

enum class MessageIcon { Error, Question, Information, Warning };
enum class MessageButtons { Ok, YesNo, OkCancel, YesNoCancel, AbortRetryIgnore };
enum class MessageAnswer { Ok, Yes, No, Cancel, Abort, Retry, Ignore };

// The controls of the main window that engine code writes into.
class PublishedControls {
public:
    virtual ~PublishedControls() = default;
    // percent is already clamped to 0..100; caption is "N % Completed".
    virtual void SetSearchProgress(int percent, const std::string& caption) { (void)percent; (void)caption; }
    virtual void SetStatusLine(const std::string& text) { (void)text; }
    virtual void ClearDetails() {}
    virtual void AddDetailsRow(const std::vector<std::string>& columns) { (void)columns; }
    virtual void SetVolumeCountText(const std::string& text) { (void)text; }
    virtual void EnableStopButton(bool on) { (void)on; }
    virtual void EnableBackButton(bool on) { (void)on; }
    virtual void EnableNextButton(bool on) { (void)on; }
    // The wizard's layout switches, called by workers when they end.
    virtual void ShowStep(int layout) { (void)layout; }
    virtual void ShowStepPicture(int picture) { (void)picture; }
};

// Modal message boxes, captioned with the product title. Implementations
// block the calling thread until the user answers.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) = 0;
};

// Helpers that go through the installed controls (nothing happens when none
// are installed).
void ReportProgress(int percent);
std::string ProgressCaption(int percent);
void ReportStatus(const std::string& text);
void ReportDetailsRow(const std::vector<std::string>& columns);
void ClearDetailsRows();
void ReportVolumeCount(const std::string& text);
// Shows a message through the installed sink; without one, returns the
// answer that changes nothing (No, Cancel or Ok).
MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons = MessageButtons::Ok);

}  // namespace job

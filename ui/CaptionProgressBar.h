// A progress bar whose text is a caption set by the caller ("42 % Completed")
// rather than a percentage the bar formats itself.
#pragma once

#include <QProgressBar>

namespace ui {

class CaptionProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit CaptionProgressBar(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    QString text() const override { return caption_; }

private:
    QString caption_;
};

}  // namespace ui

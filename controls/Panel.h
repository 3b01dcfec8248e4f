// TPanel: a plain rectangle with an optional one-pixel lowered bevel, a fill colour and an
// optional centred caption. Carries other controls.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace tarvel::controls {

class TPanel : public QWidget {
    Q_OBJECT
  public:
    enum class Bevel { None, Lowered };

    explicit TPanel(QWidget* parent = nullptr);

    void SetBevel(Bevel bevel);
    Bevel GetBevel() const { return bevel_; }
    void SetColor(const QColor& color);
    QColor Color() const { return color_; }
    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    void SetFontColor(const QColor& color);
    // Client width/height: inside the bevel.
    int ClientWidth() const;
    int ClientHeight() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Bevel bevel_ = Bevel::None;
    QColor color_{0, 0, 0};
    QColor fontColor_{0, 0, 0};
    QString caption_;
};

}  // namespace tarvel::controls

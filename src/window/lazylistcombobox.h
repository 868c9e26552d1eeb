#pragma once

#include <QComboBox>

// A combo box that builds its drop-down list when the list is first needed.
//
// QComboBox builds the list (a frame, a list view with its viewport, scroll
// bars and scroll arrows) on the first change of its font or style. A form
// that sets fonts and a style sheet therefore builds every list before the
// window is first shown, most of them never opened: in the main window that
// was about 0.9 MB and a tenth of the work before the first frame.
//
// Until the list exists, such a change reaches this combo box as it reaches
// any widget. The list, once built, inherits the font and style then in
// force and gets the delegate that style asks for, as Qt builds it. Meant for
// forms that place their widgets at fixed positions: a size hint cached
// before such a change is kept, where QComboBox would drop it.
class LazyListComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit LazyListComboBox(QWidget *parent = nullptr);

    bool hasList() const;

protected:
    void changeEvent(QEvent *event) override;
};

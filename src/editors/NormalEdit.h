#pragma once

#include "EditorWindow.h"

// Placeholder until the editor is built.
class NormalEdit : public EditorWindow {
    Q_OBJECT
public:
    explicit NormalEdit(EditorContext& context) : EditorWindow(context) {}
    QString Tag() const override { return m_tag; }
    void SetCaptionAndName(const QString& row, const QString&) override { setWindowTitle(row); }
    void RepaintNow() override {}

protected:
    void Form_Load() override;
    void Form_QueryUnload() override;

private:
    QString m_tag;
    int m_patch = 0;
};

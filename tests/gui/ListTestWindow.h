#pragma once
// A main window for the list tests: settings and the program's directory in a temporary
// folder, message boxes recorded and answered, and short ways to fill the two lists.
#include <QAction>
#include <QList>
#include <QStringList>
#include <memory>

#include "main/UnitMain.h"
#include "widgets/TFlatComboBox.h"
#include "support/IsolatedSettings.h"
#include "widgets/TCheckListView.h"

struct TListTestWindow {
    IsolatedSettings Settings;
    std::unique_ptr<TFormMain> Form;
    QList<MsgKind> Kinds;
    QStringList Titles;
    QStringList Texts;
    int Answer = mrYes;  // what a confirmation box answers
    int Ends = 0;

    TListTestWindow()
    {
        Form = std::make_unique<TFormMain>();
        Form->MessageBoxHook = [this](MsgKind kind, const QString& title, const QString& text) {
            Kinds << kind;
            Titles << title;
            Texts << text;
            return kind == MsgKind::Confirm ? Answer : int(mrOk);
        };
        Form->EndProcessHook = [this] { ++Ends; };
        Form->BeepHook = [] {};
        // A download directory that exists: showing the window warns about nothing.
        Form->ComboBoxDownload->SetText(Settings.Root());
    }

    TCheckListView& Doc() { return *Form->ListViewDoc; }
    TCheckListView& File() { return *Form->ListViewFile; }
    QString Dir() const { return Settings.ProgramDirectory(); }
    void ForgetMessages()
    {
        Kinds.clear();
        Titles.clear();
        Texts.clear();
    }

    static int Put(TCheckListView& list, const QByteArray& caption, bool ticked, int image)
    {
        const int row = list.Add(caption);
        list.SetChecked(row, ticked);
        list.SetImageIndex(row, image);
        if (image >= 0)
            list.SetStateImage(row, 3);
        return row;
    }
    int AddDoc(const QByteArray& caption, bool ticked = false, int image = -1)
    {
        return Put(Doc(), caption, ticked, image);
    }
    int AddFile(const QByteArray& caption, bool ticked = false, int image = -1, const QByteArray& name = {},
                const QByteArray& size = {})
    {
        const int row = Put(File(), caption, ticked, image);
        File().SetSubItem(row, 1, name);
        File().SetSubItem(row, 2, size);
        return row;
    }
    int IndexOfDoc(const QByteArray& caption)
    {
        for (int i = 0; i < Doc().Count(); ++i)
            if (Doc().Caption(i) == caption)
                return i;
        return -1;
    }
};

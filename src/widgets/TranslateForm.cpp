#include "widgets/TranslateForm.h"

#include "app/Language.h"
#include "platform/IniFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeView>

#include <memory>
#include <optional>

namespace dw {

namespace {

class Translator {
public:
    Translator(const IniFile& file, const QString& windowName)
        : file_(file), section_(windowName), menuSection_(QStringLiteral("Menu_") + windowName)
    {
    }

    void translateWindow(QWidget* window)
    {
        if (auto v = value(section_, section_))
            window->setWindowTitle(*v);
        walk(window);
    }

private:
    std::optional<QString> value(const QString& section, const QString& key) const
    {
        if (!file_.hasKey(section, key))
            return std::nullopt;
        return file_.readString(section, key, QString());
    }

    std::optional<QString> numbered(const QString& name, const char* suffix, int index) const
    {
        return value(section_, name + QLatin1String(suffix) + QString::number(index));
    }

    // Depth first in creation order; other windows (dialogs owned by this one)
    // translate themselves, but the window's own popup menus belong to it.
    void walk(QObject* parent)
    {
        const QObjectList children = parent->children();
        for (QObject* child : children) {
            if (auto* w = qobject_cast<QWidget*>(child); w && w->isWindow() && !qobject_cast<QMenu*>(w))
                continue;
            translate(child);
            walk(child);
        }
    }

    void translate(QObject* o)
    {
        const QString name = o->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            return;
        if (o->property(NoTranslateProperty).toBool())
            return;

        if (auto* action = qobject_cast<QAction*>(o)) {
            if (!action->isSeparator())
                if (auto v = value(menuSection_, name))
                    action->setText(*v);
            return;
        }
        if (auto* menu = qobject_cast<QMenu*>(o)) {
            if (auto v = value(menuSection_, name))
                menu->setTitle(*v);
            return;
        }
        if (auto* label = qobject_cast<QLabel*>(o)) {
            // Labels in a status bar are its panels, translated by panel position.
            if (!qobject_cast<QStatusBar*>(label->parent()))
                if (auto v = value(section_, name))
                    label->setText(*v);
            return;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(o)) {
            if (auto v = value(section_, name))
                setButtonText(button, *v);
            return;
        }
        if (auto* group = qobject_cast<QGroupBox*>(o)) {
            if (auto v = value(section_, name))
                group->setTitle(*v);
            return;
        }
        if (auto* combo = qobject_cast<QComboBox*>(o)) {
            translateCombo(combo, name);
            return;
        }
        if (auto* bar = qobject_cast<QStatusBar*>(o)) {
            translateStatusBar(bar, name);
            return;
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(o)) {
            for (int i = 0; i < tabs->count(); ++i)
                if (auto v = numbered(name, "_Page", i))
                    tabs->setTabText(i, *v);
            return;
        }
        if (auto* table = qobject_cast<QTableWidget*>(o)) {
            translateTableWidget(table, name);
            return;
        }
        if (qobject_cast<QTreeView*>(o) || qobject_cast<QTableView*>(o)) {
            translateViewColumns(static_cast<QAbstractItemView*>(o), name);
            return;
        }
    }

    static void setButtonText(QAbstractButton* button, const QString& text)
    {
        // A tool button showing an action takes its text from the action's icon
        // text and takes it again whenever the action changes; setting the icon
        // text keeps the translation and leaves the action's menu text alone.
        if (auto* tool = qobject_cast<QToolButton*>(button); tool && tool->defaultAction()) {
            tool->defaultAction()->setIconText(text);
            return;
        }
        button->setText(text);
    }

    void translateCombo(QComboBox* combo, const QString& name)
    {
        // The edit text is read first (as the box's current text is the default),
        // then the entries; an editable box keeps its edit text independent of
        // its entries, so it is set again after them. A drop-down list shows its
        // selected entry, so it has no text of its own: renaming entries keeps
        // the selection and _Text does not apply.
        const QString text = value(section_, name + QStringLiteral("_Text")).value_or(combo->currentText());
        for (int i = 0; i < combo->count(); ++i)
            if (auto v = numbered(name, "_Item", i))
                combo->setItemText(i, *v);
        if (combo->isEditable())
            combo->setEditText(text);
    }

    void translateStatusBar(QStatusBar* bar, const QString& name)
    {
        const QList<QLabel*> panels = bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        if (panels.isEmpty()) {
            if (auto v = value(section_, name))
                bar->showMessage(*v);
            return;
        }
        for (int i = 0; i < panels.size(); ++i)
            if (auto v = numbered(name, "_Panel", i))
                panels[i]->setText(*v);
    }

    void translateTableWidget(QTableWidget* table, const QString& name)
    {
        for (int i = 0; i < table->columnCount(); ++i) {
            auto v = numbered(name, "_Column", i);
            if (!v)
                continue;
            if (QTableWidgetItem* item = table->horizontalHeaderItem(i)) {
                item->setText(*v);
            } else {
                auto fresh = std::make_unique<QTableWidgetItem>(*v);
                table->setHorizontalHeaderItem(i, fresh.release());  // the table owns it
            }
        }
    }

    void translateViewColumns(QAbstractItemView* view, const QString& name)
    {
        QAbstractItemModel* model = view->model();
        if (!model)
            return;
        const int columns = model->columnCount();
        for (int i = 0; i < columns; ++i)
            if (auto v = numbered(name, "_Column", i))
                model->setHeaderData(i, Qt::Horizontal, *v, Qt::DisplayRole);
    }

    const IniFile& file_;
    QString section_;
    QString menuSection_;
};

}  // namespace

void TranslateForm(QWidget* window, const IniFile& file)
{
    if (!window || !file.loaded())
        return;
    const QString name = window->objectName();
    if (name.isEmpty())
        return;
    Translator(file, name).translateWindow(window);
}

bool TranslateForm(QWidget* window, const QString& language)
{
    const QString path = LanguageFilePath(language);
    if (!window || path.isEmpty())
        return false;
    const IniFile file(path);
    if (!file.loaded())
        return false;
    TranslateForm(window, file);
    return true;
}

}  // namespace dw

#include "app/ui/VolumeCheckWindow.h"

#include "app/state/ApplicationState.h"
#include "app/state/StateTexts.h"
#include "app/ui/Alerts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "app/ui/WindowParts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTreeWidget>

#include <memory>
#include <numeric>

namespace tamberlane::ui {

namespace {

constexpr int problemIndexRole = Qt::UserRole + 1;

enum Page { busyPage, cleanPage, listPage };

QWidget* centredPage(QLabel* symbol, QLabel* message) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    message->setAlignment(Qt::AlignCenter);
    message->setWordWrap(true);
    layout->addStretch(1);
    if (symbol != nullptr) {
        symbol->setAlignment(Qt::AlignCenter);
        layout->addWidget(symbol);
    }
    layout->addWidget(message);
    layout->addStretch(1);
    return page;
}

// What the tree was built from: a new check rebuilds it, a changed tick only ticks.
std::vector<std::pair<std::size_t, std::string>>
treeShape(const std::vector<ProblemGroup>& groups) {
    std::vector<std::pair<std::size_t, std::string>> shape;
    for (const ProblemGroup& group : groups) {
        for (const ListedProblem& problem : group.problems) {
            shape.emplace_back(problem.index, problem.message);
        }
    }
    return shape;
}

void fillTree(QTreeWidget* tree, const std::vector<ProblemGroup>& groups) {
    tree->clear();
    for (const ProblemGroup& group : groups) {
        auto* heading = new QTreeWidgetItem(tree);
        heading->setText(0, fromUtf8(group.title) +
                                QStringLiteral(" (%1)").arg(group.problems.size()));
        QFont bold = heading->font(0);
        bold.setBold(true);
        heading->setFont(0, bold);
        heading->setFlags(Qt::ItemIsEnabled);
        heading->setFirstColumnSpanned(true);
        for (const ListedProblem& problem : group.problems) {
            auto* row = new QTreeWidgetItem(heading);
            row->setText(0, fromUtf8(problem.message));
            row->setToolTip(0, fromUtf8(problem.message));
            row->setText(1, fromUtf8(problem.fix));
            row->setToolTip(1, fromUtf8(problem.fix));
            row->setData(0, problemIndexRole, static_cast<qulonglong>(problem.index));
            if (problem.hasFix) {
                row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
                row->setCheckState(0, problem.chosen ? Qt::Checked : Qt::Unchecked);
            } else {
                row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                row->setForeground(1, tree->palette().brush(QPalette::PlaceholderText));
            }
            for (const std::string& path : problem.paths) {
                auto* place = new QTreeWidgetItem(row);
                place->setText(0, fromUtf8(path));
                place->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                place->setForeground(0, tree->palette().brush(QPalette::PlaceholderText));
                place->setFirstColumnSpanned(true);
            }
        }
    }
    tree->expandAll();
    if (tree->topLevelItemCount() > 0 && tree->topLevelItem(0)->childCount() > 0) {
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    }
}

void applyTicks(QTreeWidget* tree, const std::vector<ProblemGroup>& groups) {
    const QSignalBlocker quiet(tree);
    for (int g = 0; g < tree->topLevelItemCount() && g < static_cast<int>(groups.size()); ++g) {
        QTreeWidgetItem* heading = tree->topLevelItem(g);
        const auto& problems = groups[static_cast<std::size_t>(g)].problems;
        for (int p = 0; p < heading->childCount() && p < static_cast<int>(problems.size()); ++p) {
            const ListedProblem& problem = problems[static_cast<std::size_t>(p)];
            if (problem.hasFix) {
                heading->child(p)->setCheckState(0, problem.chosen ? Qt::Checked : Qt::Unchecked);
            }
        }
    }
    // The blocked signals kept the view from repainting the ticks it did not set itself.
    tree->viewport()->update();
}

} // namespace

BoundDialog* makeVolumeCheck(QWidget* parent, ApplicationState& state) {
    VolumeCheckViewModel& check = state.volumeCheck();
    auto* dialog = new BoundDialog(parent, text(texts::checkVolumeTitle), 860);
    dialog->setMinimumHeight(480);

    QLabel* count = addTitleRow(dialog->content(), text(texts::checkVolumeTitle));

    auto* pages = new QStackedWidget;
    auto* busy = new QLabel(text(texts::checkingVolume));
    pages->addWidget(centredPage(nullptr, busy));
    auto* symbol = new QLabel;
    symbol->setPixmap(themedIcon("emblem-default", QStyle::SP_DialogApplyButton).pixmap(48, 48));
    pages->addWidget(centredPage(symbol, new QLabel(text(texts::noProblemsFound))));
    auto* tree = new QTreeWidget;
    tree->setObjectName(QStringLiteral("problems"));
    tree->setAccessibleName(text(texts::problemsName));
    tree->setColumnCount(2);
    tree->setHeaderLabels({text(texts::problemColumn), text(texts::fixColumn)});
    tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    tree->header()->setStretchLastSection(false);
    tree->header()->resizeSection(1, 300);
    // Rows of Latin text alone would cut the taller kana of a path row below them.
    tree->setUniformRowHeights(false);
    tree->setAlternatingRowColors(true);
    pages->addWidget(tree);
    dialog->content()->addWidget(pages, 1);

    // The whole of the chosen row: a row shows only as much of its message as fits.
    auto* detail = new QLabel;
    detail->setObjectName(QStringLiteral("problemDetail"));
    detail->setWordWrap(true);
    detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail->setMinimumHeight(detail->fontMetrics().lineSpacing() * 3);
    detail->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    dialog->content()->addWidget(detail);
    const auto showDetail = [detail](QTreeWidgetItem* current) {
        // A path's row tells of the problem above it.
        QTreeWidgetItem* row = current;
        if (row != nullptr && !row->data(0, problemIndexRole).isValid() &&
            row->parent() != nullptr) {
            row = row->parent();
        }
        if (row == nullptr || !row->data(0, problemIndexRole).isValid()) {
            detail->clear();
            return;
        }
        QStringList lines{row->text(0), row->text(1)};
        for (int i = 0; i < row->childCount(); ++i) {
            lines << row->child(i)->text(0);
        }
        detail->setText(lines.join(QLatin1Char('\n')));
    };
    QObject::connect(tree, &QTreeWidget::currentItemChanged, detail, showDetail);

    auto* notesTitle = new QLabel(text(texts::notesHeading));
    QFont bold = notesTitle->font();
    bold.setBold(true);
    notesTitle->setFont(bold);
    auto* notes = new QLabel;
    notes->setWordWrap(true);
    notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dialog->content()->addWidget(notesTitle);
    dialog->content()->addWidget(notes);

    // Why the repair button is off, beside it rather than in a tooltip only.
    auto* reason = new QLabel;
    reason->setObjectName(QStringLiteral("repairReason"));
    reason->setWordWrap(true);
    reason->setForegroundRole(QPalette::PlaceholderText);
    dialog->content()->addWidget(reason);

    dialog->addCancelButton(text(texts::closeButton));
    QPushButton* recheck = dialog->addButton(text(texts::recheckButton));
    QPushButton* repair = dialog->addDefaultButton(text(texts::repairButton));
    repair->setObjectName(QStringLiteral("repair"));
    QObject::connect(recheck, &QPushButton::clicked, dialog, [&check] { check.check(); });
    QObject::connect(repair, &QPushButton::clicked, dialog, [&check] { check.repair(); });
    QObject::connect(
        tree, &QTreeWidget::itemChanged, dialog, [&check](QTreeWidgetItem* item, int column) {
            const QVariant index = item->data(0, problemIndexRole);
            if (column == 0 && index.isValid() && (item->flags() & Qt::ItemIsUserCheckable)) {
                check.setChosen(static_cast<std::size_t>(index.toULongLong()),
                                item->checkState(0) == Qt::Checked);
            }
        });

    auto shape = std::make_shared<std::vector<std::pair<std::size_t, std::string>>>();
    const auto showList = [&check, tree, shape, showDetail] {
        auto now = treeShape(check.groups.get());
        if (now != *shape || tree->topLevelItemCount() == 0) {
            {
                const QSignalBlocker quiet(tree);
                fillTree(tree, check.groups.get());
            }
            showDetail(tree->currentItem());
            *shape = std::move(now);
        } else {
            applyTicks(tree, check.groups.get());
        }
    };
    dialog->bindings.watch(check.groups, showList);

    const auto showState = [&check, &state, count, busy, pages, detail, notes, notesTitle, reason,
                            recheck, repair] {
        const bool working = check.isChecking || check.isRepairing || !check.hasResult;
        busy->setText(text(check.isRepairing ? texts::repairingVolume : texts::checkingVolume));
        const std::size_t problems = std::accumulate(
            check.groups.get().begin(), check.groups.get().end(), std::size_t{0},
            [](std::size_t sum, const ProblemGroup& g) { return sum + g.problems.size(); });
        pages->setCurrentIndex(working ? busyPage : problems == 0 ? cleanPage : listPage);
        detail->setVisible(pages->currentIndex() == listPage);
        count->setText(working || problems == 0
                           ? QString()
                           : text(texts::problemCountFormat, static_cast<std::int64_t>(problems)));
        QStringList lines;
        for (const std::string& note : check.notes.get()) {
            lines << QStringLiteral("• ") + fromUtf8(note);
        }
        notes->setText(lines.join(QLatin1Char('\n')));
        notesTitle->setVisible(!working && !lines.isEmpty());
        notes->setVisible(!working && !lines.isEmpty());
        QString why;
        if (!working && problems > 0) {
            if (check.notRepairable.get()) {
                why = text(texts::notRepairableFormat).arg(fromUtf8(*check.notRepairable.get()));
            } else if (check.chosenCount() == 0) {
                why = text(texts::nothingChosen);
            }
        }
        reason->setText(why);
        reason->setVisible(!why.isEmpty());
        repair->setEnabled(check.canRepair);
        repair->setToolTip(why);
        recheck->setEnabled(!state.gate().isBusy);
    };
    dialog->bindings.watch(check.groups, showState);
    dialog->bindings.watch(check.notes, showState);
    dialog->bindings.watch(check.isChecking, showState);
    dialog->bindings.watch(check.isRepairing, showState);
    dialog->bindings.watch(check.hasResult, showState);
    dialog->bindings.watch(check.canRepair, showState);
    dialog->bindings.watch(check.notRepairable, showState);
    dialog->bindings.watch(state.gate().isBusy, showState);

    dialog->bindings.watch(check.showError, [&check, dialog] {
        if (!check.showError) {
            return;
        }
        showAlertBox(dialog, text(tamberlane::texts::errorAlertTitle),
                     fromUtf8(check.errorMessage.get()), [&check] { check.showError = false; });
    });
    tree->setFocus(Qt::OtherFocusReason);
    return dialog;
}

} // namespace tamberlane::ui

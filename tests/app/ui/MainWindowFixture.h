#pragma once

#include "app/ui/FileListView.h"
#include "app/ui/ImageFiles.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/TamberlaneApp.h"
#include "engine/fat/NewImageFile.h"
#include "tests/support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tamberlane::ui {

using test::bytesOf;
using test::TempDir;
using test::writeFile;

// The application on a synchronous executor, so every flow has ended when the call
// that starts it returns, with its window shown and active for key presses.
class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        // What an earlier test left of the window's layout is not this one's.
        QSettings().remove(QLatin1String(UiSettings::windowGroup));
        app = std::make_unique<TamberlaneApp>(executor);
        window().show();
        window().activateWindow();
        QApplication::setActiveWindow(&window());
        QApplication::processEvents();
    }

    MainWindowView& window() { return app->window(); }
    ApplicationState& state() { return app->state(); }

    std::filesystem::path openNewImage(const std::string& name) {
        const auto path = images.path() / name;
        writeImageFile(
            path, createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
        app->openFiles(QStringList{QString::fromStdString(path.string())});
        return path;
    }
    std::filesystem::path hostFile(const std::string& name) {
        const auto path = host.path() / name;
        writeFile(path, bytesOf("host file\r\n"));
        return path;
    }
    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (const FileEntry& entry : state().browser().entries.get()) {
            names.push_back(entry.directoryEntry.displayName());
        }
        return names;
    }
    int rowOf(const std::string& name) {
        const auto names = listedNames();
        return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
    }
    void clickRow(const std::string& name) {
        FileListView* list = window().fileList();
        const QRect cell = list->visualRect(list->model()->index(rowOf(name), 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    void doubleClickRow(const std::string& name) {
        FileListView* list = window().fileList();
        const QRect cell = list->visualRect(list->model()->index(rowOf(name), 0));
        // The view opens what the press of the same double click chose.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // Delivers a drop of `files` to `target` as the windowing system would.
    static bool drop(QWidget* target, const std::vector<std::filesystem::path>& files,
                     bool fromThisWindow) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& file : files) {
            // As a file manager does: the name's bytes percent-encoded, whatever they are.
            urls << QUrl::fromEncoded(
                "file://" + QByteArray::fromStdString(file.string()).toPercentEncoding("/"));
        }
        data.setUrls(urls);
        if (fromThisWindow) {
            markAsOwnDrag(data);
        }
        const QPoint centre = target->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    }
    static QPushButton* button(QWidget* dialog, const char* title) {
        for (QPushButton* each : dialog->findChildren<QPushButton*>()) {
            if (each->text() == QString::fromUtf8(title)) {
                return each;
            }
        }
        return nullptr;
    }

    // The message box `owner` shows under `name`, if it is up.
    static QMessageBox* messageBox(QWidget* owner, const char* name) {
        for (QMessageBox* box : owner->findChildren<QMessageBox*>(QString::fromLatin1(name))) {
            if (box->isVisible()) {
                return box;
            }
        }
        return nullptr;
    }
    // Queued answers run and closed windows are gone.
    static void settle() {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    TempDir images;
    TempDir host;
    SynchronousExecutor executor;
    std::unique_ptr<TamberlaneApp> app;
};

} // namespace tamberlane::ui

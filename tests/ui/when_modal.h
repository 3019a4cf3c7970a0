#pragma once
// Dialog tests drive modal dialogs from inside their exec().

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

// Runs act on the next modal dialog of type T once it is up. exec() would wait forever for a
// dialog that never comes: after two minutes the watcher rejects whatever modal dialog is open
// instead, and *seen stays false.
template <class T>
void WhenModal(std::function<void(T*)> act, bool* seen = nullptr) {
    auto* timer = new QTimer(qApp);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act, seen] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            if (seen) *seen = true;
            QPointer<QDialog> open(w);
            act(w);
            // A failed check leaves act early: close the dialog so exec() returns.
            if (open && open->isVisible()) open->reject();
            return;
        }
        if (++*ticks > 6000) {
            timer->stop();
            timer->deleteLater();
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
        }
    });
    timer->start(20);
}

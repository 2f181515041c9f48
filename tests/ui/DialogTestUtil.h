#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "RecordingInteraction.h"

/// Runs action on the modal window once it is up (the caller then enters its modal loop).
inline void WhenModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool giveUp = clock->elapsed() > 10000;  // a broken dialog must not hang the suite
    if (!modal && !giveUp) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (modal) action(modal);
  });
  timer->start();
}


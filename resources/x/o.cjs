/* Quillmere skin: a Qt style sheet applied to the main window at start-up. */

QPushButton {
    background: #2b6cb0;
    color: #ffffff;
    border: 1px solid #245a94;
    border-radius: 4px;
    padding: 2px 10px;
}
QPushButton:hover { background: #3182ce; }
QPushButton:pressed { background: #1f4f82; }
QPushButton:disabled { background: #a0aec0; border-color: #a0aec0; color: #edf2f7; }

QPushButton#PushButton7 {
    background: #dd6b20;
    border-color: #c05621;
    font-weight: bold;
}
QPushButton#PushButton7:hover { background: #ed8936; }
QPushButton#PushButton7:pressed { background: #9c4221; }

QGroupBox {
    border: 1px solid #cbd5e0;
    border-radius: 5px;
    margin-top: 7px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 8px;
    padding: 0 3px;
    color: #2d3748;
}

QLineEdit, QPlainTextEdit, QComboBox, QTreeWidget {
    background: #ffffff;
    border: 1px solid #a0aec0;
    border-radius: 3px;
    selection-background-color: #3182ce;
}
QLineEdit:focus, QPlainTextEdit:focus, QComboBox:focus, QTreeWidget:focus {
    border-color: #3182ce;
}
QLineEdit:disabled { background: #edf2f7; color: #a0aec0; }

QHeaderView::section {
    background: #edf2f7;
    border: none;
    border-bottom: 1px solid #cbd5e0;
    padding: 2px 6px;
    font-weight: bold;
}

QTabBar::tab {
    background: #e2e8f0;
    border: 1px solid #cbd5e0;
    border-bottom: none;
    border-top-left-radius: 4px;
    border-top-right-radius: 4px;
    padding: 4px 12px;
    margin-right: 2px;
}
QTabBar::tab:selected { background: palette(window); color: #2b6cb0; font-weight: bold; }

QProgressBar {
    border: 1px solid #a0aec0;
    border-radius: 4px;
    background: #ffffff;
    text-align: center;
}
QProgressBar::chunk { background: #68d391; border-radius: 3px; }

QComboBox::drop-down { border: none; width: 20px; }
/* A styled drop-down draws no arrow of its own. A relative url() names a file beside this one. */
QComboBox::down-arrow { image: url(down-arrow.png); }

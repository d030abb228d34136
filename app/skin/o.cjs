/* Tagloom's skin: a Qt style sheet, read when the program starts. */

QMainWindow, QWidget#Form1 {
  background: #eef1f2;
}

QGroupBox {
  font-weight: bold;
  color: #143e4c;
  border: 1px solid #c5d0d3;
  border-radius: 6px;
  margin-top: 14px;
  padding: 10px 8px 8px 8px;
  background: #f8fafa;
}

QGroupBox::title {
  subcontrol-origin: margin;
  left: 10px;
  padding: 0 4px;
}

QPushButton {
  color: #1d232b;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e4eaec);
  border: 1px solid #a9b8bc;
  border-radius: 4px;
  padding: 5px 12px;
  font-weight: normal;
}

QPushButton:hover {
  border-color: #2a8c94;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d7eef0);
}

QPushButton:pressed {
  background: #c6e3e6;
}

QPushButton:focus {
  border: 2px solid #e08a1e;
  padding: 4px 11px;
}

QPushButton:disabled {
  color: #9aa4a8;
  background: #eef1f2;
  border: 1px solid #d3dadc;
}

QPushButton#PushButton10 {
  color: #ffffff;
  font-weight: bold;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2a8c94, stop:1 #1b5f69);
  border: 1px solid #143e4c;
  padding: 7px 18px;
}

QPushButton#PushButton10:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #34a0a8, stop:1 #1f6f78);
}

QPushButton#PushButton10:focus {
  border: 2px solid #e08a1e;
  padding: 6px 17px;
}

QTreeView {
  background: #ffffff;
  alternate-background-color: #f3f7f7;
  border: 1px solid #c5d0d3;
  selection-background-color: #2a8c94;
  selection-color: #ffffff;
}

QHeaderView::section {
  background: #e4eaec;
  color: #143e4c;
  border: none;
  border-right: 1px solid #c5d0d3;
  border-bottom: 1px solid #c5d0d3;
  padding: 4px 6px;
}

QSplitter::handle {
  background: transparent;
  height: 6px;
}

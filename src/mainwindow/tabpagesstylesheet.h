#pragma once

// The look of every tab page. The window sets it rather than the form: in
// the form it is set on the tab widget before the pages are added, and each
// page added is then restyled as a whole.
inline constexpr char kTabPagesStyleSheet[] = R"(QLabel
{
	font-family: arial;
	font-size: 10pt;
	color: #333F48; /* Dark Grey */
	text-align: left;
}

QLabel :disabled
{
	color: #D4D4D4; /* 17% Grey */
}

QComboBox
{
	font-family: arial;
	font-size: 10pt;
	color: #333F48; /* Dark Grey */
	border-width: 1px;
	border-color: #D4D4D4; /* 17% Grey */
	border-style: solid;
	text-align: left;
}

QComboBox:disabled
{
	color: #D4D4D4; /* 17% Grey */
	background-color: #EEEEEE; /* 7% Grey */
	border-color: #DEDEDE; /* 13% Grey */
}

QLineEdit
{
	font-family: arial;
	font-size: 10pt;
	color: #333F48; /* Dark Grey */
	border-width: 1px;
	border-color: #D4D4D4; /* 17% Grey */
	border-style: solid;
	text-align: left;
}

QLineEdit:disabled
{
	color: #D4D4D4; /* 17% Grey */
	background-color: #EEEEEE; /* 7% Grey */
	border-color: #DEDEDE; /* 13% Grey */
}

QPushButton
{
	font-family: arial;
	font-size: 10pt;
	color: #333F48; /* Dark Grey */
	border-width: 1px;
	border-style: solid;
	border-color: #D4D4D4; /* 17% Grey */
	background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #EEEEEE, stop:1 #DEDEDE); /* 7% Grey, 13% Grey */
	text-align: center;
}

QPushButton:hover
{
	font-family: arial;
	font-size: 10pt;
	color: white;
	border-width: 1px;
	border-style: solid;
	border-color: #255B95; /* Dark Blue */
	background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #507BAA, stop:1 #255B95); /* Dark Blue */
	text-align: center;
}

QPushButton:disabled
{
	font-family: arial;
	font-size: 10pt;
	color: #D4D4D4; /* 17% Grey */
	border-width: 1px;
	border-style: solid;
	border-color: #DEDEDE; /* 13% Grey */
	background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #EEEEEE, stop:1 #DEDEDE); /* 7% Grey, 13% Grey */
	text-align: center;
}

QTabBar::tab
{
	font-family: arial;
	font-size: 9pt;
	color: white;
	font: normal;
	background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #507BAA, stop:1 #255B95); /* Dark Blue */
	width: 150px;
}

QTabBar::tab:hover
{
	font-family: arial;
	font-size: 9pt;
	color: white;
	font: normal;
	background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #96B0CC, stop:1 #255B95); /* Dark Blue */
}

QTabBar::tab:selected
{
	font-family: arial;
	font-size: 9pt;
	color: white;
	font: bold;
	background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #255B95, stop:1 #507BAA); /* Dark Blue */
}

QCheckBox
{
	font-family: arial;
	font-size: 10pt;
	color: #333F48; /* Dark Grey */
	text-align: left;
}

QCheckBox:disabled
{
	color: #D4D4D4; /* 17% Grey */
}

#label_sensor, #label_referenz_2, #label_sensor_2, #label_referenz_4
{
	font-weight: bold;
}

QLineEdit#lineEditCounter
{
	font-size: 22pt;
}

QLabel#labelActCounterstatus
{
	font-size: 22pt;
}

QLabel#label_multi
{
	font-size: 22pt;
}

QLabel#label_factor
{
	font-size: 22pt;
}

QLabel#label_unit
{
	font-size: 22pt;
})";

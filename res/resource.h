// Identifiers of every resource the executable carries and of every control
// in its dialog templates. Shared by the resource script and the C++ code,
// so it holds nothing but #define lines. The numbers are part of the
// program's interface (tests and windows look them up): never renumber.
#ifndef QSURGE_RES_RESOURCE_H
#define QSURGE_RES_RESOURCE_H

// Dialog templates
#define IDD_MAIN                    102
#define IDD_FANCURVE                157
#define IDD_OVERCLOCK               161
#define IDD_MONITOR                 203
#define IDD_SETTINGS                205
#define IDD_INFO                    213
#define IDD_NOTE                    222

// Icon, cursor, menu and the menu's commands
#define IDI_APP                     128
#define IDCUR_HAND                  151
#define IDR_TRAY_MENU               214
#define ID_TRAY_OPEN                32772
#define ID_TRAY_EXIT                32773
#define ID_TRAY_LOG                 32774
#define ID_TRAY_LOG_FOLDER          32775

// Skins (24-bit; pure blue 0x00FF0000 marks pixels outside the window)
#define IDB_MAIN_SKIN               129
#define IDB_FANCURVE_SKIN           156
#define IDB_OVERCLOCK_SKIN          160
#define IDB_MONITOR_SKIN            202
#define IDB_INFO_SKIN               206
#define IDB_SETTINGS_SKIN           207
#define IDB_NOTE_SKIN               218

// Main window keys
#define IDB_MAIN_MINIMIZE           152
#define IDB_MAIN_CLOSE              153
#define IDB_MAIN_SETTINGS           204
#define IDB_PRESET3_PRESSED         131
#define IDB_PRESET3_SELECTED        132
#define IDB_PRESET3_UNSELECTED      133
#define IDB_PRESET5_PRESSED         134
#define IDB_PRESET5_SELECTED        135
#define IDB_PRESET5_UNSELECTED      136
#define IDB_PRESET10_PRESSED        137
#define IDB_PRESET10_SELECTED       138
#define IDB_PRESET10_UNSELECTED     139
#define IDB_MAIN_APPLY              142
#define IDB_MAIN_APPLY_PRESSED      140
#define IDB_MAIN_APPLY_HOVER        141
#define IDB_MAIN_RESET              148
#define IDB_MAIN_RESET_PRESSED      146
#define IDB_MAIN_RESET_HOVER        147
#define IDB_HWM                     145
#define IDB_HWM_PRESSED             143
#define IDB_HWM_HOVER               144
#define IDB_TURBO                   130
#define IDB_TURBO_PRESSED           149
#define IDB_TURBO_HOVER             150
#define IDB_FANCURVE_KEY            154
#define IDB_FANCURVE_KEY_ACTIVE     155   // pressed and hover
#define IDB_SWITCH_OFF              176
#define IDB_SWITCH_ON               177

// Fan pictures, one per 10 per cent: IDB_FAN_FIRST + level / 10
#define IDB_FAN_0                   178
#define IDB_FAN_10                  179
#define IDB_FAN_20                  180
#define IDB_FAN_30                  181
#define IDB_FAN_40                  182
#define IDB_FAN_50                  183
#define IDB_FAN_60                  184
#define IDB_FAN_70                  185
#define IDB_FAN_80                  186
#define IDB_FAN_90                  187
#define IDB_FAN_100                 188
#define IDB_FAN_FIRST               IDB_FAN_0
#define IDB_FAN_LAST                IDB_FAN_100

// Temperature pictures, one per 10 degrees C: IDB_TEMP_FIRST + degrees / 10
#define IDB_TEMP_0                  189
#define IDB_TEMP_10                 190
#define IDB_TEMP_20                 191
#define IDB_TEMP_30                 192
#define IDB_TEMP_40                 193
#define IDB_TEMP_50                 194
#define IDB_TEMP_60                 195
#define IDB_TEMP_70                 196
#define IDB_TEMP_80                 197
#define IDB_TEMP_90                 198
#define IDB_TEMP_100                199
#define IDB_TEMP_110                200
#define IDB_TEMP_120                201
#define IDB_TEMP_FIRST              IDB_TEMP_0
#define IDB_TEMP_LAST               IDB_TEMP_120

// Dial: face bitmap and the two needles (resource type "PNG", with alpha).
// Needles are stored pointing down; the pivot pixel sits on the dial centre.
#define IDB_DIAL_FACE               216
#define IDP_ENGINE_NEEDLE           224   // 22 x 186, pivot (11, 34)
#define IDP_MEMORY_NEEDLE           225   // 28 x 107, pivot (14, 26)

// A seven-segment face carried for the numbers (raw TrueType data), and the
// face it stands in for when the system lacks that one.
#define IDR_NUMBER_FONT             230

// Panel keys, slider and curve grid
#define IDB_PANEL_MINIMIZE          158
#define IDB_PANEL_CLOSE             159
#define IDB_STEP_MINUS              162
#define IDB_STEP_PLUS_ACTIVE        163   // pressed and hover
#define IDB_STEP_PLUS               164
#define IDB_STEP_MINUS_ACTIVE       165   // pressed and hover
#define IDB_PANEL_RESET             166
#define IDB_PANEL_APPLY_PRESSED     167
#define IDB_PANEL_APPLY_HOVER       168
#define IDB_PANEL_APPLY             169
#define IDB_PANEL_RESET_PRESSED     170
#define IDB_PANEL_RESET_HOVER       171
#define IDB_CURVE_GRID              172
#define IDB_SLIDER_CHANNEL_ACTIVE   173
#define IDB_SLIDER_CHANNEL          174
#define IDB_SLIDER_THUMB            175

// Settings panel and note keys
#define IDB_SETTINGS_CLOSE          208   // also the note's close key
#define IDB_SETTINGS_MINIMIZE       209
#define IDB_SETTINGS_APPLY_PRESSED  210
#define IDB_SETTINGS_APPLY_HOVER    211
#define IDB_SETTINGS_APPLY          212

// Controls. One number may name controls of several windows.
#define IDC_MINIMIZE                1000  // every window with a minimise key
#define IDC_CLOSE                   1001  // every window's close key
#define IDC_PRESET_3                1002
#define IDC_PRESET_10               1003
#define IDC_PRESET_5                1004
#define IDC_APPLY                   1005  // main, overclock, fan curve, settings
#define IDC_RESET                   1006  // main, overclock, fan curve
#define IDC_HWM                     1007
#define IDC_TURBO                   1008
#define IDC_FANCURVE                1009
#define IDC_POWER_MINUS             1014
#define IDC_POWER_PLUS              1015
#define IDC_FRAME_MINUS             1016
#define IDC_FRAME_PLUS              1017
#define IDC_GPU_OFFSET_MINUS        1018
#define IDC_GPU_OFFSET_PLUS         1019
#define IDC_MEM_OFFSET_MINUS        1020
#define IDC_MEM_OFFSET_PLUS         1021
#define IDC_CURVE                   1024
#define IDC_POWER_SLIDER            1025
#define IDC_FRAME_SLIDER            1026
#define IDC_GPU_OFFSET_SLIDER       1027  // overclock panel
#define IDC_ENGINE_PLOT             1027  // monitor panel
#define IDC_MEM_OFFSET_SLIDER       1028  // overclock panel
#define IDC_MEMORY_PLOT             1028  // monitor panel
#define IDC_TEMP_PICTURE            1029
#define IDC_FAN_PICTURE             1030
#define IDC_FAN_MODE                1031
#define IDC_TEMP_PLOT               1034
#define IDC_FAN_PLOT                1035
#define IDC_ENGINE_READOUT          1036  // main window (hidden), monitor panel
#define IDC_GPU_OFFSET_READOUT      1036  // overclock panel
#define IDC_TEMP_READOUT            1037  // main window, monitor panel
#define IDC_FAN_READOUT             1038  // main window, monitor panel
#define IDC_MEMORY_READOUT          1039  // main window (hidden), monitor panel
#define IDC_MEM_OFFSET_READOUT      1039  // overclock panel
#define IDC_SETTINGS                1042
#define IDC_SWITCH_LAUNCH           1046
#define IDC_SWITCH_MINISIZE         1047
#define IDC_SWITCH_OC               1048
#define IDC_SWITCH_ALL              1049
#define IDC_GPU_LIST                1050
#define IDC_INFO_NAME               1053
#define IDC_INFO_CORES              1054
#define IDC_INFO_MEMORY             1055
#define IDC_INFO_BUS_WIDTH          1056
#define IDC_INFO_DRIVER             1057
#define IDC_INFO_BIOS               1058
#define IDC_POWER_READOUT           1059
#define IDC_FRAME_READOUT           1060
#define IDC_NOTE_TEXT               1062
#define IDC_GAUGE                   1063
#define IDC_OVERCLOCK_NOTE          1064  // overclock panel: its line under the title

#endif

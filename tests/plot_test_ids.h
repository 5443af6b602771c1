#pragma once
// The plot control's test template: two owner-drawn statics placed in code.
#define IDD_PLOT_TEST 930
#define IDC_PLOT_TEST 1930
#define IDC_PLOT_OTHER 1931

// The update window's texts, as string ids in the agent's resources (strings_*.rc beside this
// file), one table per language; Windows picks the table of the user's UI language. Included by
// the resource scripts too, so plain macros only.
#pragma once

#define IDS_UPDATE_CAPTION 201
#define IDS_UPDATE_TITLE 202
#define IDS_UPDATE_TITLE_FINISHED 203
#define IDS_UPDATE_DOWNLOADING 204
#define IDS_UPDATE_PERCENT 205
#define IDS_UPDATE_FINISHED 206
#define IDS_UPDATE_CHECKING 207
#define IDS_UPDATE_UP_TO_DATE 208
#define IDS_UPDATE_CHECK_FAILED 209
#define IDS_UPDATE_MANAGED 210
#define IDS_UPDATE_DOWNLOAD_FAILED 211
#define IDS_UPDATE_REFUSED 212
#define IDS_UPDATE_INSTALL_FAILED 213
#define IDS_UPDATE_INSTALL 214
#define IDS_UPDATE_CLOSE 215
#define IDS_UPDATE_PROGRESS 216
#define IDS_UPDATE_PRESS 217

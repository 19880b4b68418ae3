// The texts the shell shows for our registration, as string ids in the launcher's resources
// (launcher/strings_*.rc) and as the English text that stays in each key's default value for
// tools that read the registry directly. The registration names them as "@<launcher>,-<id>",
// so Windows shows each user the table of their UI language. Included by the resource
// scripts too, so plain macros only.
#pragma once

#define IDI_SUITE 1

#define IDS_TYPE_PRESENTATION 101
#define IDS_TYPE_DOCUMENT 102
#define IDS_TYPE_SPREADSHEET 103
#define IDS_TYPE_CSV 104
#define IDS_TYPE_FILE 105
#define IDS_APPLICATION_DESCRIPTION 110

#define TEXT_TYPE_PRESENTATION "quenvo presentation"
#define TEXT_TYPE_DOCUMENT "quenvo document"
#define TEXT_TYPE_SPREADSHEET "quenvo spreadsheet"
#define TEXT_TYPE_CSV "quenvo comma-separated values"
#define TEXT_TYPE_FILE "quenvo file"
#define TEXT_APPLICATION_DESCRIPTION \
  "quenvo office suite: presentations, documents, spreadsheets and comma-separated values"

#pragma once

#include "session/DiscSession.h"

#include <QString>

#include <vector>

class QWidget;

// "Scegli l'edizione": the editions a database offers for the disc, the first one selected. The index
// of the one chosen with "OK", -1 after "Annulla".
int ChooseEditionDialog(QWidget *parent, const std::vector<DiscEdition> &editions);

// The disc's "Artista", "Album", "Anno" and "Genere", filled with `details`; true and the new values
// after "OK", false after "Annulla".
bool EditDiscDetailsDialog(QWidget *parent, DiscDetails &details);

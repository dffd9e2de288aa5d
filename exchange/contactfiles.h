#pragma once

class MainWindow;

// The menu commands that write the ticked contacts to a semicolon-separated file and read
// such a file into the selected address book.
namespace contactfiles {

void esporta(MainWindow& main); // "Esporta Rubrica"
void importa(MainWindow& main); // "Importa file csv"

} // namespace contactfiles

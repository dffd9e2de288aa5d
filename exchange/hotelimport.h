#pragma once

class MainWindow;

// The menu commands around the hotel program's customers.
namespace hotelimport {

void importa(MainWindow& main); // "Importa da Ericsoft"
void imposta(MainWindow& main); // "Imposta Archivi Ericsoft"

} // namespace hotelimport

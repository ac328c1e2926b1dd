// The window's hooks for the parts written on their own: the disc-database lookup, the settings
// file and the extraction and conversion jobs. Each does nothing until its part replaces it here.
#include "app/MainForm.h"

void TDlgMainForm::QueryDiscDatabase() {}

void TDlgMainForm::LoadSettings() {}

void TDlgMainForm::SaveSettings() {}

void TDlgMainForm::BtnExtraireClick() {}

void TDlgMainForm::BtnCancelExtraireClick() {}

void TDlgMainForm::RGroupFormatExtractionClick() {}

void TDlgMainForm::BtnChoisirFichierWavClick() {}

void TDlgMainForm::BtnConvertWavClick() {}

void TDlgMainForm::BtnCancelConvertWavClick() {}

void TDlgMainForm::TrackBarVBRQualityChange() {}

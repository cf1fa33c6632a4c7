#pragma once

#include "bypos/bypos.h"
#include "bytrait/byid.h"

namespace quillmap {

// The one way tests reach the two panels' own state and private slots: both panels befriend
// this class and nothing else. of(panel) gives references to the members under the panels'
// own names, valid while the panel lives.
class PanelTestAccess final
{
public:
    struct TraitState {
        int &rowCount;
        std::vector<RowRecord> &rowRecords;
        std::vector<float> &rowStats;
        std::vector<quint8> &rowChromosomes;
        std::vector<float> &rowPositions;
        std::vector<float> &rowValues;
        float &valueMax;
        float &valueMin;
        double &topThreshold;
        double &bottomThreshold;
        bool &plotReady;
        bool &plotShown;
        bool &highlightOn;
        int &highlightCount;
        std::vector<quint8> &highlightChromosomes;
        std::vector<float> &highlightPositions;
        std::vector<float> &highlightValues;
        bool &groupTraitsArmed;
        QStringList &groupNameList;
        QStringList &groupTraitList;
        QImage &plotImage;
        QImage &highlightImage;
        QTimer *&repaintTimer;
        int &repaintIndex;
    };

    static TraitState of(byID &p)
    {
        return {p.rowCount,           p.rowRecords,      p.rowStats,
                p.rowChromosomes,     p.rowPositions,    p.rowValues,
                p.valueMax,           p.valueMin,        p.topThreshold,
                p.bottomThreshold,    p.plotReady,       p.plotShown,
                p.highlightOn,        p.highlightCount,  p.highlightChromosomes,
                p.highlightPositions, p.highlightValues, p.groupTraitsArmed,
                p.groupNameList,      p.groupTraitList,  p.plotImage,
                p.highlightImage,     p.repaintTimer,    p.repaintIndex};
    }

    struct RegionState {
        byPos &panel;
        int &rowCount;
        std::vector<RowRecord> &rowRecords;
        std::vector<std::vector<double>> &traitPositions;
        int &traitCount;
        double &valueMax;
        double &valueMin;
        int &plotReady;
        int &highlightOn;
        int &highlightCount;
        std::vector<float> &highlightPositions;
        std::vector<float> &highlightValues;
        int &snpMarkOn;
        double &snpMarkPosition;
        QString &snpMarkName;
        int &endWarningShown;
        QStringList &labelColours;
        CTableModel &regionTableModel;

        void search() { panel.search(); }
        void sortByColumn(int column) { panel.sortByColumn(column); }
        void goLeft() { panel.goLeft(); }
        void goRight() { panel.goRight(); }
        void print() { panel.print(); }
        void help() { panel.help(); }
        void findSNP() { panel.findSNP(); }
        void link() { panel.link(); }
    };

    static RegionState of(byPos &p)
    {
        return {p,
                p.rowCount,
                p.rowRecords,
                p.traitPositions,
                p.traitCount,
                p.valueMax,
                p.valueMin,
                p.plotReady,
                p.highlightOn,
                p.highlightCount,
                p.highlightPositions,
                p.highlightValues,
                p.snpMarkOn,
                p.snpMarkPosition,
                p.snpMarkName,
                p.endWarningShown,
                p.labelColours,
                p.regionTableModel};
    }
};

} // namespace quillmap
